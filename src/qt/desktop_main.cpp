// quillmere: the shell as a desktop program. It plays main.swf of a course folder (AppDir)
// in a borderless window and checks the Flash runtime with version.swf. The course is the
// one the command line names, else the executable's folder when it holds main.swf, else
// the one the user chooses.
//
// QM_DIALOG_LOG=1 (for tests and support) also writes every dialog the program shows to
// standard error, one JSON line when it opens and one when it has closed. --trace FILE
// writes the bridge trace; --check reports on the course instead of playing it.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/course_folder.h"
#include "app/course_shell.h"
#include "app/program_stand_ins.h"
#include "media/recorder.h"
#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/media_control.h"
#include "platform/paths.h"
#include "posix/desktop_shell.h"
#include "posix/ini_profile_writer.h"
#include "posix/learner_layer.h"
#include "posix/posix_process.h"
#include "posix/std_file_system.h"
#include "qt/course_check_run.h"
#include "qt/main_window.h"
#include "qt/open_dialog_window.h"
#include "qt/qt_audio_endpoint.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_skin.h"
#include "qt/qt_window_system.h"
#include "qt/resource_windows.h"
#include "qt/web_engine_host.h"
#include "resources/resource_forms.h"
#include "text/codepage.h"
#include "trace/tracing_ports.h"
#include "ui/error_report.h"

namespace qm::qt {
namespace {

// A JSON string literal of ANSI text.
std::string JsonString(const std::string& ansi) {
  const std::string utf8 = text::Ansi().ToUtf8(ansi);
  std::string out = "\"";
  for (const unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The dialogs, each also written to standard error as it opens and after it closed.
class LoggedDialogs : public IDialogs {
 public:
  explicit LoggedDialogs(IDialogs& inner) : inner_(inner) {}

  int ShowMessageDialog(const MessageDialogRequest& r) override {
    Log("open", "message", r.caption, r.text);
    const int result = inner_.ShowMessageDialog(r);
    Log("closed", "message", r.caption, r.text);
    return result;
  }
  void ShowPlainMessage(const std::string& text, const std::string& caption) override {
    Log("open", "plain", caption, text);
    inner_.ShowPlainMessage(text, caption);
    Log("closed", "plain", caption, text);
  }
  int SystemMessageBox(const std::string& text, const std::string& caption,
                       unsigned flags) override {
    Log("open", "system", caption, text);
    const int result = inner_.SystemMessageBox(text, caption, flags);
    Log("closed", "system", caption, text);
    return result;
  }
  void ShowErrorReport(const std::string& text, const std::string& caption) override {
    Log("open", "error_report", caption, text);
    inner_.ShowErrorReport(text, caption);
    Log("closed", "error_report", caption, text);
  }
  std::optional<std::string> ShowInputDialog(const InputDialogRequest& r) override {
    Log("open", "input", r.caption, r.prompt);
    auto result = inner_.ShowInputDialog(r);
    Log("closed", "input", r.caption, r.prompt);
    return result;
  }
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& r, std::function<void(ProgressCloseReason)> on_close) override {
    Log("open", "progress", r.caption, r.label);
    return inner_.ShowProgressWindow(r, std::move(on_close));
  }

 private:
  static void Log(const char* event, const char* type, const std::string& caption,
                  const std::string& text) {
    const std::string line = std::string("{\"dialog\": \"") + event + "\", \"type\": \"" + type +
                             "\", \"caption\": " + JsonString(caption) +
                             ", \"text\": " + JsonString(text) + "}\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }

  IDialogs& inner_;
};

constexpr char kProgram[] = "quillmere";

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return status;
}

// The user's configuration: the course played last, where the folder chooser starts.
QSettings Configuration() {
  return QSettings(QStringLiteral("quillmere"), QStringLiteral("quillmere"));
}

// Asks for the course folder until one holding main.swf is chosen; nullopt when the user
// cancels.
std::optional<Course> ChooseCourse() {
  QString start = Configuration().value("lastCourse").toString();
  if (start.isEmpty()) start = QDir::homePath();
  for (;;) {
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, "Quillmere: choose the course folder", start);
    if (chosen.isEmpty()) return std::nullopt;
    const std::filesystem::path folder(chosen.toStdString());
    if (HoldsCourse(folder)) return CourseOfFolder(folder);
    QMessageBox::warning(nullptr, "Quillmere",
                         "This folder holds no course: main.swf is not in it.\n" + chosen +
                             "\n\nChoose the folder the course was copied to.");
    start = chosen;
  }
}

// The learner's layer of the course, when it is played over one (see learner_layer.h).
std::optional<LearnerLayer> LayerOf(const Course& course, bool always) {
  return LayerForCourse(course.folder, UserDataFolder(),
                        always || CourseSharesUserData(course.folder));
}

// Plays the course over the learner's layer where it needs one, and hands the layer on to
// the programs that the course starts (the standalone player).
void UseLayerFor(const Course& course, bool always) {
  std::optional<LearnerLayer> layer = LayerOf(course, always);
  if (layer) {
    ::setenv(kLayerCourseVariable, layer->course.c_str(), 1);
    ::setenv(kLayerFolderVariable, layer->layer.c_str(), 1);
  } else {
    ::unsetenv(kLayerCourseVariable);
    ::unsetenv(kLayerFolderVariable);
  }
  UseLearnerLayer(std::move(layer));
}

// --reset: removes the learner's layer of the course after the user has agreed on
// standard input.
int ResetCourse(const Course& course) {
  const std::string data = UserDataFolder();
  if (data.empty()) return Fail("no data folder (HOME is not set)", 1);
  const std::string folder = LearnerLayerFolder(course.folder, data);
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) {
    std::printf("Nothing of yours is stored for the course %s.\n", course.folder.c_str());
    return 0;
  }
  std::printf(
      "This removes what you saved in the course %s: your progress, recordings and added "
      "resources,\nstored in %s\nRemove them? [y/N] ",
      course.folder.c_str(), folder.c_str());
  std::fflush(stdout);
  char answer[16] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr ||
      (answer[0] != 'y' && answer[0] != 'Y')) {
    std::printf("\nKept.\n");
    return 1;
  }
  std::filesystem::remove_all(folder, error);
  if (error) return Fail("could not remove " + folder + ": " + error.message(), 1);
  std::printf("Removed.\n");
  return 0;
}

int Run(int argc, char** argv) {
  CommandLine line;
  try {
    line = ParseCommandLine(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  } catch (const Exception& e) {
    return Fail(std::string(e.what()) + "\nTry 'quillmere --help'.", 2);
  }
  if (line.help) {
    std::fputs(UsageText(kProgram).c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::printf("%s %s\n", kProgram, QM_VERSION);
    return 0;
  }

  // The trace file is opened first: a trace that cannot be written ends the program
  // before anything runs.
  std::unique_ptr<trace::TraceFile> trace_file;
  if (!line.trace.empty()) {
    try {
      trace_file = std::make_unique<trace::TraceFile>(line.trace);
    } catch (const std::exception& e) {
      return Fail(e.what(), 2);
    }
  }

  // The course: named, the demo, or the executable's own folder when it holds one.
  const std::string executable = ExecutablePath();
  std::optional<Course> course;
  bool demo_in_place = false;
  try {
    if (line.course) {
      course = CourseFromArgument(*line.course, std::filesystem::current_path());
    } else if (line.demo) {
      const std::string data = UserDataFolder();
      if (data.empty()) return Fail("no data folder for the demo course (HOME is not set)", 1);
      const auto folder = DemoCourseFolder(std::filesystem::path(DataFolder()) / "demo",
                                           std::filesystem::path(data) / "quillmere" / "demo");
      course = CourseOfFolder(folder);
      // The installed demo is everyone's: each learner plays it over a layer of their own,
      // even where they could write it (as root, say).
      demo_in_place = folder == std::filesystem::path(DataFolder()) / "demo";
    } else if (HoldsCourse(AppDirOf(executable))) {
      course = Course{AppDirOf(executable), ExtractFileName(executable)};
    }
  } catch (const std::exception& e) {
    return Fail(e.what(), 1);
  }
  if (line.reset) {
    if (!course) return Fail("--reset needs a COURSE (or --demo)", 2);
    return ResetCourse(*course);
  }

  // The course's text: the code page named on the command line, else in the course's
  // quillmere.ini, else the locale's character set (read as the application object will:
  // from the environment). Gives the error, or nothing once the code page is set.
  std::setlocale(LC_ALL, "");
  auto apply_codepage = [&line](const Course& played) -> std::string {
    const std::string codepage =
        !line.codepage.empty() ? line.codepage : CourseCodePage(played.folder);
    try {
      text::SetAnsiCodePage(codepage);
      return {};
    } catch (const std::exception& e) {
      return "unknown code page \"" + codepage + "\": " + e.what();
    }
  };
  if (course) {
    if (const std::string error = apply_codepage(*course); !error.empty()) return Fail(error, 2);
  }

  // A check shows nothing: the player runs on the off-screen platform.
  if (line.check) qputenv("QT_QPA_PLATFORM", "offscreen");
  PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  WebEngineHostStarted();
  if (line.check) {
    const std::string title = ApplicationTitle(text::Ansi().FromUtf8(course->name));
    try {
      return RunCourseCheck(*course, title,
                            {line.seconds, line.json, line.report, line.movie_seconds},
                            trace_file.get());
    } catch (const std::exception& e) {
      return Fail(std::string("the check could not run: ") + e.what(), 2);
    }
  }
  if (!course) {
    course = ChooseCourse();
    if (!course) return 0;
    if (const std::string error = apply_codepage(*course); !error.empty()) {
      QMessageBox::critical(nullptr, "Quillmere", QString::fromStdString(error));
      return Fail(error, 2);
    }
  }
  Configuration().setValue("lastCourse", QString::fromStdString(course->folder));
  UseLayerFor(*course, demo_in_place);

  const std::string app_dir = text::Ansi().FromUtf8(course->folder);
  const std::string title = ApplicationTitle(text::Ansi().FromUtf8(course->name));
  QApplication::setApplicationName(QString::fromStdString(text::Ansi().ToUtf8(title)));

  QtDialogs qt_dialogs(title);
  std::unique_ptr<IDialogs> logged;
  if (qEnvironmentVariableIsSet("QM_DIALOG_LOG"))
    logged = std::make_unique<LoggedDialogs>(qt_dialogs);
  IDialogs& shown = logged ? *logged : static_cast<IDialogs&>(qt_dialogs);

  // The bridge trace, when asked for: ports that write every event, around the real ones.
  std::unique_ptr<trace::TraceWriter> trace;
  std::unique_ptr<trace::TracingDialogs> traced_dialogs;
  if (trace_file) {
    trace = std::make_unique<trace::TraceWriter>(
        [&trace_file](const std::string& text) { trace_file->WriteLine(text); },
        &trace::TraceWriter::SteadyMilliseconds);
    traced_dialogs = std::make_unique<trace::TracingDialogs>(shown, *trace);
  }
  IDialogs& dialogs = traced_dialogs ? *traced_dialogs : shown;

  try {
    InstallSkin(app);
    QtWindowSystem windows(dialogs, title);
    StdFileSystem files(text::Ansi());
    DesktopShell desktop(text::Ansi());
    StandInShell shell(desktop, files, FindStandalonePlayer(AppDirOf(executable)));
    PosixProcess process;

    // TForm2, the recorder, is never shown; the media device plays and records through the
    // sound server, and the recorder's creation writes the media extension mappings.
    QtAudioEndpoint audio;
    const std::unique_ptr<IMediaControl> system_mci = SystemMediaControl(windows, audio, files);
    IMediaControl& mci = *system_mci;
    IniProfileWriter profile(IniProfileWriter::DefaultFolder());
    std::unique_ptr<trace::TracingMediaControl> traced_mci;
    if (trace) traced_mci = std::make_unique<trace::TracingMediaControl>(mci, *trace);

    // The course's windows over the desktop's ports: the main window with its two Flash
    // controls, whose creation starts the movies, then the recorder and the resource
    // windows.
    MainWindow main_window(QString::fromStdString(text::Ansi().ToUtf8(title)), windows);
    windows.SetMainWindow(&main_window);
    std::unique_ptr<trace::TracingFlashControl> traced_flash1, traced_flashversion;
    if (trace) {
      TracePlayerEvents(main_window.flash1(), "flash1", *trace);
      TracePlayerEvents(main_window.flashversion(), "flashversion", *trace);
      traced_flash1 =
          std::make_unique<trace::TracingFlashControl>(main_window.flash1(), "flash1", *trace);
      traced_flashversion = std::make_unique<trace::TracingFlashControl>(main_window.flashversion(),
                                                                         "flashversion", *trace);
    }
    IFlashControl& flash1 =
        traced_flash1 ? *traced_flash1 : static_cast<IFlashControl&>(main_window.flash1());
    IFlashControl& flashversion = traced_flashversion
                                      ? *traced_flashversion
                                      : static_cast<IFlashControl&>(main_window.flashversion());
    CourseShell course({flash1, flashversion, windows, dialogs, shell, files, process}, app_dir,
                       title);
    if (!line.update_url.empty())
      course.Update.UpdateServiceBaseUrl = text::Ansi().FromUtf8(line.update_url);
    course.Start();
    course.CreateRecorder({traced_mci ? static_cast<IMediaControl&>(*traced_mci) : mci, profile});

    // TForm3 and TForm6, the resource manager and the resource picker: hidden until the
    // movie asks for them. Their windows register here with windows.SetModalWindow and
    // are built at their first showing.
    TForm1& form1 = course.Form1;
    QtOpenDialogs open_dialogs(form1.Boundary(), files, &main_window);
    const ResourceWindowServices resource_services{
        dialogs, open_dialogs, files, shell, form1.Boundary(), form1.AppDir(), title, &main_window};
    ResourceWindows resource_windows(
        windows, course.Form3, course.Form6, resource_services,
        [&form1](const std::string& function, const std::string& first, const std::string& second) {
          return form1.CallMovieFunction(function, first, second);
        });

    main_window.show();
    if (!windows.Terminated()) QApplication::exec();
  } catch (...) {
    dialogs.ShowPlainMessage(
        text::A("您未安装flashplayer，请运行文件：Adobe Flash Player11.4.exe进行安装。"), title);
  }
  return 0;
}

}  // namespace
}  // namespace qm::qt

int main(int argc, char** argv) {
  return qm::qt::Run(argc, argv);
}
