// The Flash control on Ruffle, end to end: the real widget in a small Qt host, the real
// TForm1 bridge, movies from the Haxe compiler (ActionScript 3) and from our own writer
// (ActionScript 1). One host process runs every check in order; the movies check the
// replies themselves and report through fscommand.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/course_shell.h"
#include "headless/scripted_ports.h"
#include "platform/errors.h"
#include "platform/shell.h"
#include "posix/std_file_system.h"
#include "qt/flash_widget.h"
#include "qt/qt_loop.h"
#include "text/codepage.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using qt::FlashWidget;

// Runs events until `done` holds; false when the movie never got there (a hang guard,
// not a measure of speed).
bool RunUntil(const std::function<bool()>& done, int guard_ms = 90000) {
  return testing::QtLoop::RunUntil(done, guard_ms);
}

void RunFor(int ms) {
  testing::QtLoop::RunFor(ms);
}

std::string U8(const std::u16string& s) {
  return QString::fromStdU16String(s).toStdString();
}

std::u16string U16(const std::string& s) {
  return QString::fromStdString(s).toStdU16String();
}

// What the movie and the shell said to each other, in order.
struct Event {
  std::string kind;  // "fs" or "call"
  std::string name;
  std::string text;  // the fscommand's argument, or the whole request
};

// The application hook as the desktop window system applies it: a right-button press
// is offered to TForm1's filter before the control sees it.
class HookFilter : public QObject {
 public:
  explicit HookFilter(TForm1& form) : form_(form) {}
  int right_presses_seen = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonPress) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
    ++right_presses_seen;
    return form_.FlashMessageFilter({WindowMessage::kRButtonDown, watched});
  }

 private:
  TForm1& form_;
};

class FlashHost : public ::testing::Test {
 protected:
  struct Host {
    headless::Journal journal;
    FlashWidget flash1{FlashWidget::Scale::kNoScaleTopLeft};
    FlashWidget flashversion{FlashWidget::Scale::kShowAll, nullptr,
                             FlashWidget::Sound::kNone};  // as the main window has it
    headless::ManualWindowSystem windows{journal};
    headless::ScriptedDialogs dialogs{journal};
    headless::RecordingShell shell{journal};
    headless::ScriptedProcess process{journal};
    StdFileSystem files{text::Ansi()};
    std::string app_dir;
    std::unique_ptr<CourseShell> course;
    TForm1* form = nullptr;  // course->Form1
    std::vector<Event> events;
    std::string reentered_reply = "unset";
    std::string modal_reply = "unset";
    std::string version_in_call = "unset";
  };

  static void SetUpTestSuite() {
    text::SetAnsiCodePage("UTF-8");
    host_ = new Host;
    Host& h = *host_;
    const fs::path dir = fs::temp_directory_path() / ("qm-flash-e2e-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "appdata");
    fs::copy_file(QM_MOVIES_DIR "/bridge_as3.swf", dir / "main.swf");
    fs::copy_file(QM_MOVIES_DIR "/version.swf", dir / "version.swf");
    fs::copy_file(QM_MOVIES_DIR "/bridge_as1.swf", dir / "as1.swf");
    std::ofstream(dir / "data" / "a.txt") << "hello 中文\r\n";
    h.app_dir = dir.string() + "/";
    h.shell.special_folders[kCsidlCommonAppData] = (dir / "appdata").string();

    h.course = std::make_unique<CourseShell>(
        CoursePorts{h.flash1, h.flashversion, h.windows, h.dialogs, h.shell, h.files, h.process},
        h.app_dir, "quillmere");
    h.form = &h.course->Form1;
    TForm1& form = *h.form;
    // Record every event, then hand it to TForm1 as the control would; a few names are
    // the test's own.
    h.flash1.OnFSCommand([&h, &form](const std::u16string& command, const std::u16string& arg) {
      h.events.push_back({"fs", U8(command), U8(arg)});
      if (command == u"modal") {
        // As a dialog's loop would: the movie runs meanwhile and takes calls.
        RunFor(100);
        h.modal_reply = form.NotifyMovie("inmodal", "");
        return;
      }
      form.Boundary().Run([&] { form.flash1FSCommand(command, arg); });
    });
    h.flash1.OnFlashCall([&h, &form](const std::u16string& request_text) {
      const std::string request = U8(request_text);
      const auto start = request.find("name=\"") + 6;
      const std::string name = request.substr(start, request.find('"', start) - start);
      h.events.push_back({"call", name, request});
      if (name == "number") {
        h.flash1.SetReturnValue(u"<number>12.5</number>");
      } else if (name == "reenter") {
        // A call into the movie while it waits here: held, delivered later.
        h.reentered_reply = form.NotifyMovie("reentered", "x");
        // The other control cannot run a script now either: refused, not waited for.
        try {
          h.version_in_call = U8(h.flashversion.GetVariable(u"mainver"));
        } catch (const EFlashControlError& e) {
          h.version_in_call = e.what();
        }
        h.flashversion.SetPlaying(true);
        h.flash1.SetReturnValue(u"<string>after</string>");
      } else if (name != "typed") {
        form.Boundary().Run([&] { form.flash1FlashCall(request_text); });
      }
    });
    h.flash1.resize(400, 200);
    h.flash1.show();
    form.Boundary().Run([&] { form.FormCreate(); });
  }

  static void TearDownTestSuite() {
    const std::string dir = host_->app_dir;
    delete host_;
    host_ = nullptr;
    fs::remove_all(dir);
  }

  static Host& H() { return *host_; }

  static bool HasEvent(const std::string& kind, const std::string& name, const std::string& text) {
    for (const Event& e : H().events) {
      if (e.kind == kind && e.name == name && e.text == text) return true;
    }
    return false;
  }

  static std::ptrdiff_t IndexOf(const std::string& kind, const std::string& name,
                                const std::string& text = {}) {
    const auto& ev = H().events;
    for (std::size_t i = 0; i < ev.size(); ++i) {
      if (ev[i].kind == kind && ev[i].name == name && (text.empty() || ev[i].text == text)) {
        return static_cast<std::ptrdiff_t>(i);
      }
    }
    return -1;
  }

  static Host* host_;
};

FlashHost::Host* FlashHost::host_ = nullptr;

// --- ActionScript 3 ---------------------------------------------------------------------

TEST_F(FlashHost, As3MovieChecksEveryCommandReply) {
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "done", "as3"); })) << "the movie did not finish";
  int checks = 0;
  for (const Event& e : H().events) {
    if (e.kind != "fs" || e.name != "check") continue;
    ++checks;
    EXPECT_NE(e.text.find("|ok|"), std::string::npos) << e.text;
  }
  EXPECT_EQ(checks, 19);
  EXPECT_TRUE(HasEvent("fs", "value", "getAppDir|string:" + H().app_dir));
  // What the shell did: the files are there, the reply escapes nothing.
  std::ifstream saved(H().app_dir + "data/new/b.txt");
  std::string line;
  std::getline(saved, line);
  EXPECT_EQ(line, "a<b & c>d\r");
}

// Dark pixels in a band of the movie's top left corner.
int DarkPixels(const QImage& shot, int top, int bottom) {
  int dark = 0;
  for (int y = top; y < std::min(bottom, shot.height()); ++y) {
    for (int x = 0; x < std::min(300, shot.width()); ++x) {
      if (qGray(shot.pixel(x, y)) < 96) ++dark;
    }
  }
  return dark;
}

// The movie's label holds Chinese characters only, in a device font: without the CJK
// font the player has no glyphs for them and draws nothing there.
TEST_F(FlashHost, ChineseDeviceTextIsDrawn) {
  int dark = 0;
  ASSERT_TRUE(RunUntil(
      [&] {
        dark = DarkPixels(H().flash1.grab().toImage(), 0, 80);
        return dark > 200;
      },
      20000))
      << "dark pixels in the label: " << dark;
}

// A second label holds Latin letters only, in the same device font: the font must carry
// both scripts, since the player takes every letter from the one font it picked.
TEST_F(FlashHost, LatinDeviceTextIsDrawn) {
  int dark = 0;
  ASSERT_TRUE(RunUntil(
      [&] {
        dark = DarkPixels(H().flash1.grab().toImage(), 90, 170);
        return dark > 200;
      },
      20000))
      << "dark pixels in the label: " << dark;
}

TEST_F(FlashHost, FsCommandHandlersRunWithTheMovieFree) {
  EXPECT_EQ(H().modal_reply, "<string>got inmodal</string>");
}

TEST_F(FlashHost, StoredSettingsNoScaleTopLeftAndShowAll) {
  EXPECT_TRUE(HasEvent("fs", "value", "stage|string:noScale TL"));
  EXPECT_EQ(H().flashversion.GetVariable(u"Stage.scaleMode"), u"showAll");
}

TEST_F(FlashHost, As3FsCommandsKeepTheirPlaceBetweenCalls) {
  const auto step1 = IndexOf("fs", "step", "1");
  const auto call = IndexOf("call", "loadfile");
  const auto step2 = IndexOf("fs", "step", "2");
  ASSERT_GE(step1, 0);
  EXPECT_LT(step1, call);
  EXPECT_LT(call, step2);
}

TEST_F(FlashHost, As3ArgumentsArriveAsTheControlWritesThem) {
  EXPECT_TRUE(HasEvent("call", "typed",
                       "<invoke name=\"typed\" returntype=\"xml\"><arguments>"
                       "<string>s</string><number>2.5</number><true/><null/>"
                       "<array><property id=\"0\"><number>1</number></property>"
                       "<property id=\"1\"><string>two</string></property></array>"
                       "<object><property id=\"k\"><string>v</string></property></object>"
                       "</arguments></invoke>"));
  EXPECT_TRUE(HasEvent("fs", "value", "typed arguments|null"));
  EXPECT_TRUE(HasEvent("call", "no.such.command",
                       "<invoke name=\"no.such.command\" returntype=\"xml\"><arguments>"
                       "<string>x</string></arguments></invoke>"));
  // Texts are escaped in the request and read back by the shell's reader.
  EXPECT_TRUE(HasEvent("call", "savefile",
                       "<invoke name=\"savefile\" returntype=\"xml\"><arguments>"
                       "<string>data/new/b.txt</string><string>a&lt;b &amp; c&gt;d</string>"
                       "</arguments></invoke>"));
}

TEST_F(FlashHost, CallFromInsideAFlashCallIsHeldThenDelivered) {
  EXPECT_EQ(H().reentered_reply, "");
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "callback", "reentered|x"); }));
  // Delivered once the movie was free: after the call that made it had returned.
  EXPECT_GT(IndexOf("fs", "callback", "reentered|x"),
            IndexOf("fs", "check", "reenter|ok|string:after"));
  EXPECT_GT(IndexOf("fs", "callback", "reentered|x"), IndexOf("call", "reenter"));
}

TEST_F(FlashHost, OtherControlIsRefusedNotWaitedForDuringACall) {
  EXPECT_EQ(H().version_in_call, "The movie is busy");
}

TEST_F(FlashHost, CallFunctionRunsTheMovieFunctionAndReturnsItsReply) {
  TForm1& form = *H().form;
  EXPECT_EQ(form.NotifyMovie("canspeak", ""), "<string>got canspeak</string>");
  // The callback's fscommand was issued inside the call; it is raised right after.
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "callback", "canspeak|"); }));
  // The shell does not escape its arguments; the movie gets them as they are.
  EXPECT_EQ(form.CallMovieFunction("pickerCallback", "selectedover", "a&b<c> 中文.mp3"),
            "<string>got selectedover</string>");
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "callback", "selectedover|a&b<c> 中文.mp3"); }));
  // Typed values both ways.
  EXPECT_EQ(U8(H().flash1.CallFunction(
                u"<invoke name=\"echo\" returntype=\"xml\"><arguments><array>"
                u"<property id=\"0\"><number>3</number></property></array></arguments></invoke>")),
            "<array><property id=\"0\"><number>3</number></property></array>");
  EXPECT_EQ(
      U8(H().flash1.CallFunction(
          u"<invoke name=\"echo\" returntype=\"xml\"><arguments><false/></arguments></invoke>")),
      "<false/>");
}

TEST_F(FlashHost, CallFunctionOfAnUnknownFunctionIsRefused) {
  EXPECT_THROW(H().form->CallMovieFunction("noSuchCallback", "a", "b"), EFlashControlError);
}

TEST_F(FlashHost, RightPressIsSwallowedLeftPressReachesTheMovie) {
  Host& h = H();
  HookFilter hook(*h.form);
  QWidget* input = h.flash1.InputWidget();
  input->installEventFilter(&hook);
  const QPointF at(100, 50);
  const auto press = [&](Qt::MouseButton button) {
    QMouseEvent down(QEvent::MouseButtonPress, at, input->mapToGlobal(at), button, button,
                     Qt::NoModifier);
    QApplication::sendEvent(input, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, input->mapToGlobal(at), button, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(input, &up);
  };
  press(Qt::RightButton);
  press(Qt::LeftButton);
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "mouse", "left"); }));
  EXPECT_EQ(hook.right_presses_seen, 1);
  EXPECT_FALSE(HasEvent("fs", "mouse", "right"));
  input->removeEventFilter(&hook);
}

TEST_F(FlashHost, GetVariableIsRefusedForActionScript3) {
  EXPECT_THROW(H().flash1.GetVariable(u"anything"), EFlashControlError);
}

// --- version.swf ------------------------------------------------------------------------

TEST_F(FlashHost, VersionMovieReportsThePlayersVersion) {
  FlashWidget& v = H().flashversion;
  const std::string major = U8(v.GetVariable(u"mainver"));
  const std::string minor = U8(v.GetVariable(u"submainver"));
  ASSERT_FALSE(major.empty());
  std::printf("version.swf reports %s.%s\n", major.c_str(), minor.c_str());
  EXPECT_EQ(major.find_first_not_of("0123456789"), std::string::npos) << major;
  EXPECT_EQ(minor.find_first_not_of("0123456789"), std::string::npos) << minor;
  EXPECT_GE(std::stoi(major), 10);
  EXPECT_THROW(v.GetVariable(u"notSet"), EFlashControlError);
}

// The web engine's zygote (a child of this host) and its renderers (the zygote's
// children) run Quillmere's own executable for them, which gives back what they free.
TEST_F(FlashHost, WebEngineProcessesRunQuillmeresExecutable) {
  const std::string own = qgetenv("QTWEBENGINEPROCESS_PATH").toStdString();
  ASSERT_TRUE(own.ends_with("/lib/quillmere/QuillmereWebEngineProcess")) << own;
  std::map<long, long> parent_of;  // of the processes that run it
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code ec;
    if (!std::filesystem::equivalent(entry.path() / "exe", own, ec)) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string pid, name, state;
    long ppid = 0;
    stat >> pid >> name >> state >> ppid;  // the executable's name holds no space
    parent_of[std::stol(pid)] = ppid;
  }
  int zygotes = 0, renderers = 0;
  for (const auto& [pid, ppid] : parent_of) {
    zygotes += ppid == ::getpid();
    renderers += parent_of.contains(ppid) && parent_of.at(ppid) == ::getpid();
  }
  EXPECT_EQ(zygotes, 1);
  EXPECT_GE(renderers, 1);
}

// --- ActionScript 1, after unloading -------------------------------------------------------

TEST_F(FlashHost, SoundlessVersionControlOpensNoAudioOutput) {
  // Read above: its movie runs all the same.
  EXPECT_EQ(H().flashversion.Evaluate("typeof AudioContext").toString(), "undefined");
  EXPECT_EQ(H().flash1.Evaluate("typeof AudioContext").toString(), "function");
}

TEST_F(FlashHost, UnloadThenLoadAnActionScript1Movie) {
  Host& h = H();
  h.flash1.SetMovie(u"");
  EXPECT_FALSE(h.flash1.Playing());
  EXPECT_THROW(h.flash1.GetVariable(u"answer"), EFlashControlError);
  h.flash1.SetMovie(U16(h.app_dir + "missing.swf"));
  EXPECT_THROW(h.flash1.GetVariable(u"answer"), EFlashControlError);
  h.events.clear();
  h.flash1.SetMovie(U16(h.app_dir + "as1.swf"));
  EXPECT_TRUE(h.flash1.Playing());
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "done", "as1"); }));

  std::vector<std::string> replies;
  for (const Event& e : h.events) {
    if (e.kind == "fs" && e.name == "reply") replies.push_back(e.text);
  }
  const std::vector<std::string> expected = {
      "string:hello 中文",   "boolean:true", "boolean:false",  "string:" + h.app_dir,
      "undefined:undefined", "boolean:true", "string:a<b & c", "string:after"};
  EXPECT_EQ(replies, expected);
  EXPECT_LT(IndexOf("fs", "step", "1"), IndexOf("call", "loadfile"));
  EXPECT_LT(IndexOf("call", "loadfile"), IndexOf("fs", "step", "2"));
  ASSERT_TRUE(RunUntil([] { return HasEvent("fs", "callback", "reentered|x"); }));
  EXPECT_EQ(h.form->NotifyMovie("playrecordover", ""), "<string>got playrecordover</string>");
}

TEST_F(FlashHost, As1VariablesByNameAndPath) {
  FlashWidget& f = H().flash1;
  EXPECT_EQ(f.GetVariable(u"answer"), u"42");
  EXPECT_EQ(f.GetVariable(u"_root.answer"), u"42");
  EXPECT_EQ(f.GetVariable(u"/:answer"), u"42");
  EXPECT_EQ(f.GetVariable(u"obj.inner"), u"deep");
  EXPECT_THROW(f.GetVariable(u"missing"), EFlashControlError);
}

TEST_F(FlashHost, As1PlayingActsOnTheRootTimeline) {
  FlashWidget& f = H().flash1;
  auto ticks = [&] { return std::stoi(U8(f.GetVariable(u"ticks"))); };
  const int start = ticks();
  ASSERT_TRUE(RunUntil([&] { return ticks() > start + 2; })) << "the timeline does not run";
  f.SetPlaying(false);
  EXPECT_FALSE(f.Playing());
  const int stopped = ticks();
  RunFor(300);
  EXPECT_EQ(ticks(), stopped);
  f.Play();
  EXPECT_TRUE(f.Playing());
  EXPECT_TRUE(RunUntil([&] { return ticks() > stopped; })) << "Play did not restart it";
}

}  // namespace
}  // namespace qm
