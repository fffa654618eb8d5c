#include "qt/course_check_run.h"

#include <stdlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "app/course_shell.h"
#include "check/course_check.h"
#include "media/virtual_audio_endpoint.h"
#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "platform/media_control.h"
#include "platform/profile_writer.h"
#include "qt/course_check_movies.h"
#include "qt/flash_widget.h"
#include "qt/main_window.h"
#include "qt/qt_window_system.h"
#include "text/codepage.h"
#include "trace/player_console.h"
#include "trace/tracing_ports.h"

namespace qm::qt {

namespace fs = std::filesystem;

void TracePlayerEvents(FlashWidget& widget, const std::string& control, trace::TraceWriter& trace,
                       std::function<void()> first_frame) {
  FlashWidget::LogPlayerWarnings(true);
  widget.OnPlayerEvent([&trace, control, first_frame = std::move(first_frame)](
                           const QString& kind, const QString& text) {
    if (kind == QLatin1String("first_frame")) {
      trace.Write("first_frame", {{"control", control}});
      if (first_frame) first_frame();
    } else {
      const auto message = trace::ReadConsoleMessage(kind.toStdString(), text.toStdString());
      nlohmann::json fields = {
          {"control", control}, {"level", message.level}, {"message", message.text}};
      if (!message.source.empty()) fields["source"] = message.source;
      trace.Write("console", fields);
    }
  });
}

namespace {

// Nobody is at the screen: every dialog is closed as soon as it opens (the window's
// close command, or the box's cancelling button).
class ClosingDialogs : public IDialogs {
 public:
  int ShowMessageDialog(const MessageDialogRequest&) override { return 2; }
  void ShowPlainMessage(const std::string&, const std::string&) override {}
  int SystemMessageBox(const std::string&, const std::string&, unsigned flags) override {
    switch (flags & 0xF) {
      case 0:  // OK
        return 1;
      case 2:  // Abort, Retry, Ignore
        return 3;
      case 4:  // Yes, No
        return 7;
      default:  // with Cancel
        return 2;
    }
  }
  void ShowErrorReport(const std::string&, const std::string&) override {}
  std::optional<std::string> ShowInputDialog(const InputDialogRequest&) override {
    return std::nullopt;
  }
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest&, std::function<void(ProgressCloseReason)>) override {
    class Closed : public IProgressWindow {
      void SetGauge(std::int64_t) override {}
      void Close() override {}
      bool RunModal() override { return false; }
    };
    return std::make_unique<Closed>();
  }
};

// Documents are not opened and nothing is deleted; both are traced. The settings
// folder is the check's own.
class CheckShell : public IShell {
 public:
  CheckShell(std::string settings_folder, trace::TraceWriter& trace)
      : settings_folder_(std::move(settings_folder)), trace_(trace) {}
  int Execute(const ShellRequest& request) override {
    trace_.Write("shell_open", {{"verb", trace::AnsiText(request.verb)},
                                {"file", trace::AnsiText(request.file)},
                                {"params", trace::AnsiText(request.params)}});
    return 42;
  }
  std::optional<std::string> SpecialFolderPath(int) override { return settings_folder_; }
  int FileOperation(const ShellFileOperation& operation) override {
    nlohmann::json from = nlohmann::json::array();
    for (const auto& f : operation.from) from.push_back(trace::AnsiText(f));
    trace_.Write("shell_delete", {{"from", from}});
    return 0x78;  // refused: access denied
  }

 private:
  std::string settings_folder_;
  trace::TraceWriter& trace_;
};

// The process is not ended: the play ends instead, and the trace says why.
class CheckProcess : public IProcess {
 public:
  explicit CheckProcess(trace::TraceWriter& trace) : trace_(trace) {}
  unsigned ExitCode() override { return kStillActive; }
  bool Terminate(unsigned exit_code) override {
    if (!ended_) {
      trace_.Write("ended", {{"reason", "the movie ended the program (exit code " +
                                            std::to_string(exit_code) + ")"}});
    }
    ended_ = true;
    QCoreApplication::exit(0);
    return true;
  }
  bool Ended() const { return ended_; }

 private:
  trace::TraceWriter& trace_;
  bool ended_ = false;
};

struct FileState {
  std::uintmax_t size = 0;
  fs::file_time_type time;
};

std::map<std::string, FileState> Snapshot(const fs::path& folder) {
  std::map<std::string, FileState> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    files[it->path().lexically_relative(folder).generic_string()] = {it->file_size(error),
                                                                     it->last_write_time(error)};
  }
  return files;
}

std::vector<std::string> Changes(const std::map<std::string, FileState>& before,
                                 const std::map<std::string, FileState>& after) {
  std::vector<std::string> changes;
  for (const auto& [path, state] : after) {
    const auto old = before.find(path);
    if (old == before.end()) {
      changes.push_back(path + " (new)");
    } else if (old->second.size != state.size || old->second.time != state.time) {
      changes.push_back(path + " (changed)");
    }
  }
  for (const auto& [path, state] : before) {
    if (!after.contains(path)) changes.push_back(path + " (deleted)");
  }
  return changes;
}

// The recorder's media extension mappings: the check writes nothing on the machine.
class NoProfileWrites : public IProfileWriter {
 public:
  bool WritePrivateProfileString(const std::string&, const std::string&, const std::string&,
                                 const std::string&) noexcept override {
    return true;
  }
};

// A temporary folder, removed with everything in it.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "quillmere-check-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder for the check");
    }
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Plays main.swf of the copy in `folder` for `seconds`; the trace's events.
// How long the player may take to start a movie, beyond the seconds it plays.
constexpr int kStartLimitSeconds = 120;
// How long a drawn frame may take to reach the control's picture.
constexpr int kSettleMs = 400;

// `picture`, when given, is asked for a picture of the course movie's control once it
// has drawn its first frame and again when the play ends.
using PictureTaker = std::function<void(QWidget& control, const std::string& moment)>;

void Play(const fs::path& folder, const std::string& app_title, int seconds,
          trace::TraceWriter& trace, const fs::path& settings, const QElapsedTimer& since,
          const qint64& started_ms, const PictureTaker& picture) {
  ClosingDialogs closing;
  trace::TracingDialogs dialogs(closing, trace);
  QtWindowSystem windows(dialogs, app_title);
  const std::unique_ptr<IFileSystem> system_files = SystemFileSystem(text::Ansi());
  IFileSystem& files = *system_files;
  CheckShell shell(text::Ansi().FromUtf8(settings.string()), trace);
  CheckProcess process(trace);
  VirtualAudioEndpoint audio(windows);
  const std::unique_ptr<IMediaControl> mci = SystemMediaControl(windows, audio, files);
  trace::TracingMediaControl media(*mci, trace);
  NoProfileWrites profile;

  MainWindow main_window(QString::fromStdString(text::Ansi().ToUtf8(app_title)), windows);
  windows.SetMainWindow(&main_window);
  QWidget& control = main_window.flash1();
  TracePlayerEvents(main_window.flash1(), "flash1", trace, [&control, &picture] {
    // Once the frame has reached the screen.
    if (picture) QTimer::singleShot(kSettleMs, &control, [&] { picture(control, "first frame"); });
  });
  TracePlayerEvents(main_window.flashversion(), "flashversion", trace);
  trace::TracingFlashControl flash1(main_window.flash1(), "flash1", trace);
  trace::TracingFlashControl flashversion(main_window.flashversion(), "flashversion", trace);
  std::string app_dir = text::Ansi().FromUtf8(folder.string());
  if (app_dir.empty() || app_dir.back() != '/') app_dir += '/';
  CourseShell course({flash1, flashversion, windows, dialogs, shell, files, process}, app_dir,
                     app_title);
  // The resource windows are closed as soon as they open (mrCancel), as a dialog is.
  for (const IModalForm* form : {static_cast<const IModalForm*>(&course.Form3),
                                 static_cast<const IModalForm*>(&course.Form6)}) {
    windows.SetModalWindow(*form, [&trace, form] {
      trace.Write("window", {{"form", form->FormName()}, {"answer", 2}});
      return 2;
    });
  }
  // No update check against the network during a check.
  course.Update.Timer2->SetEnabled(false);
  course.Start();
  course.CreateRecorder({media, profile});

  main_window.show();
  // The movie plays for `seconds` from its start (its first frame, or its first word to
  // the shell); the runtime check, which may wait for the version movie's player, is
  // given its answer. The play ends from the outermost message loop only, never inside
  // a wait of the player's, and after kStartLimitSeconds more at the latest.
  QElapsedTimer clock;
  clock.start();
  const qint64 limit_ms = (seconds + kStartLimitSeconds) * 1000LL;
  QTimer poll;
  poll.setInterval(100);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QThread::currentThread()->loopLevel() > 1) return;
    const bool checked = !course.Form1.Timer1->Enabled();
    const bool played = started_ms >= 0 && since.elapsed() - started_ms >= seconds * 1000LL;
    if ((played && checked) || clock.elapsed() >= limit_ms) QCoreApplication::exit(0);
  });
  poll.start();
  if (!windows.Terminated() && !process.Ended()) QCoreApplication::exec();
  if (picture) picture(control, "end of the play");
  if (clock.elapsed() >= limit_ms) {
    trace.Write("time_limit", {{"seconds", clock.elapsed() / 1000}});
  }
  if (windows.Terminated() && !process.Ended()) {
    trace.Write("ended", {{"reason", "the shell ended the program"}});
  }
}

}  // namespace

int RunCourseCheck(const Course& course, const std::string& app_title, const CheckOptions& options,
                   trace::TraceFile* trace_file) {
  const int seconds = options.seconds;
  const fs::path original(course.folder);
  // The report's folder, never inside the course.
  std::optional<PictureFolder> pictures;
  fs::path report_folder;
  if (!options.report_folder.empty()) {
    std::error_code error;
    report_folder = fs::weakly_canonical(fs::absolute(options.report_folder), error);
    const fs::path inside = report_folder.lexically_relative(fs::weakly_canonical(original, error));
    if (!inside.empty() && *inside.begin() != "..") {
      throw std::runtime_error("the report cannot go into the course folder: " +
                               report_folder.string());
    }
    fs::create_directories(report_folder, error);
    if (error || !fs::is_directory(report_folder)) {
      throw std::runtime_error("cannot make the report folder " + report_folder.string());
    }
    pictures.emplace(report_folder);
  }
  check::Report report;
  report.course = course.folder;
  const bool shared = CourseSharesUserData(course.folder);
  if (std::string layer = LearnerFilesFolder(course.folder, shared); !layer.empty()) {
    report.learner_layer = std::move(layer);
    report.layer_reason = shared ? "its quillmere.ini says userdata=always"
                                 : "the course folder is not writable by this user";
  }
  report.movies = check::FindMovies(original);
  report.played = HoldsCourse(original);
  report.main.seconds = seconds;

  if (report.played) {
    std::vector<nlohmann::json> events;
    // When the course movie started, in the play's clock (-1: not yet).
    qint64 started_ms = -1;
    QElapsedTimer since;
    since.start();
    trace::TraceWriter trace(
        [&](const std::string& line) {
          if (trace_file != nullptr) trace_file->WriteLine(line);
          events.push_back(nlohmann::json::parse(line));
          const auto& e = events.back();
          if (started_ms < 0 && e.value("control", "") == "flash1" &&
              (e["event"] == "first_frame" || e["event"] == "request" ||
               e["event"] == "fscommand" || e["event"] == "failure")) {
            started_ms = since.elapsed();
          }
        },
        &trace::TraceWriter::SteadyMilliseconds);
    TemporaryFolder temporary;
    const fs::path copy = temporary.Path() / "course";
    const fs::path settings = temporary.Path() / "settings";
    fs::copy(original, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::create_directories(settings);
    const auto before = Snapshot(copy);
    auto main_movie = std::find_if(report.movies.begin(), report.movies.end(),
                                   [](const check::MovieFile& m) { return check::IsMainMovie(m); });
    PictureTaker picture;
    if (pictures && main_movie != report.movies.end()) {
      picture = [&](QWidget& control, const std::string& moment) {
        pictures->Take(control, *main_movie, moment);
      };
    }
    try {
      MissingFilesTraced missing(trace, copy);
      Play(copy, app_title, seconds, trace, settings, since, started_ms, picture);
    } catch (const std::exception& e) {
      trace.Write("failure", {{"control", "flash1"}, {"kind", "player"}, {"detail", e.what()}});
    }
    const std::unique_ptr<IFileSystem> files = SystemFileSystem(text::Ansi());
    const std::string folder = text::Ansi().FromUtf8(course.folder);
    report.main = check::Summarise(events, [&](const std::string& path) {
      return files->FirstMatchIsFile(folder + text::Ansi().FromUtf8(path));
    });
    report.main.seconds = seconds;
    report.main.would_write = Changes(before, Snapshot(copy));
    if (pictures) {
      PlayOtherMovies(copy, options.movie_seconds, report, *pictures, [&](const std::string& path) {
        return files->FirstMatchIsFile(folder + text::Ansi().FromUtf8(path));
      });
    }
  }
  if (pictures) {
    std::ofstream page(report_folder / "index.html", std::ios::binary);
    page << check::ReportPage(report);
    page.close();
    if (!page) throw std::runtime_error("cannot write " + (report_folder / "index.html").string());
  }

  const std::string out = options.json
                              ? check::ReportJson(report).dump(
                                    2, ' ', false, nlohmann::json::error_handler_t::replace) +
                                    "\n"
                              : ReportText(report);
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
  return check::ExitStatus(report);
}

}  // namespace qm::qt
