// The movie's FSCommand commands, raised through the control's event.
#include <gtest/gtest.h>

#include "media/recorder_commands.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "resources/resource_forms.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

// Records what the commands ask of the recorder, in order.
class RecordingRecorder : public RecorderCommands {
 public:
  void PlayMediaFile(const std::string& path) override {
    calls.push_back("play " + path);
    if (fail_open)
      throw Exception("The specified file cannot be played on the specified MCI device");
  }
  void CloseRecord() noexcept override { calls.push_back("close"); }
  void BeginRecord() override { calls.push_back("begin"); }
  void StopAndPlayRecord() noexcept override { calls.push_back("stopandplay"); }
  void PlaySourceSound() override { PlayMediaFile(SourceSoundPath); }
  std::vector<std::string> calls;
  bool fail_open = false;
};

class FSCommandTest : public ::testing::Test {
 protected:
  FSCommandTest() { shell.course->Sound.Form2 = &recorder; }
  void Command(std::string_view name, std::string_view argument = "") {
    shell.flash1.Command(text::Utf8ToUtf16(name), text::Utf8ToUtf16(argument));
  }
  std::string Dir() const { return shell.app.Dir(); }

  ShellHarness shell;
  RecordingRecorder recorder;
  TForm3& manager = shell.course->Form3;
  TForm6& picker = shell.course->Form6;
};

TEST_F(FSCommandTest, RecorderCommands) {
  Command("recording", "audio/l1.mp3");
  EXPECT_EQ(recorder.SourceSoundPath, Dir() + "audio/l1.mp3");
  EXPECT_TRUE(recorder.calls.empty());  // nothing is played
  Command("beginrecord", "ignored");
  Command("stopandplayrecord");
  Command("playsrcsound");
  Command("closerecord");
  Command("audio", "audio/word.mp3");
  EXPECT_EQ(recorder.SourceSoundPath, "");
  EXPECT_EQ(recorder.calls,
            (std::vector<std::string>{"begin", "stopandplay", "play " + Dir() + "audio/l1.mp3",
                                      "close", "play " + Dir() + "audio/word.mp3"}));
}

TEST_F(FSCommandTest, NamesMatchExactly) {
  for (const char* name : {"Audio", "EXEC", "exec ", " audio", "beginRecord", ""}) {
    Command(name, "x.swf");
  }
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_TRUE(shell.journal.Entries().empty());
}

TEST_F(FSCommandTest, ExecStopsTheRecorderThenOpens) {
  Command("exec", "lesson/intro.swf");
  Command("exec", "notes.doc");
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"close", "close"}));
  const auto requests = shell.Entries("shell");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["file"], Dir() + "FlashPlayer.exe");
  EXPECT_EQ(requests[0]["params"], Dir() + "lesson/intro.swf");
  EXPECT_EQ(requests[1]["file"], Dir() + "notes.doc");
  EXPECT_EQ(requests[1]["params"], "");
  EXPECT_EQ(requests[1]["verb"], "open");
}

TEST_F(FSCommandTest, ProgramErrorsAreShownPlainlyAndTheMovieGoesOn) {
  recorder.fail_open = true;
  Command("audio", "missing.mp3");
  Command("recording", "src.mp3");
  Command("playsrcsound");
  const auto dialogs = shell.Entries("dialog");
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0]["type"], "plain");
  EXPECT_EQ(dialogs[0]["text"], "The specified file cannot be played on the specified MCI device");
  EXPECT_EQ(dialogs[0]["caption"], "Course");
  EXPECT_TRUE(shell.Entries("error_report").empty());
}

TEST_F(FSCommandTest, WindowStates) {
  Command("maximized");
  Command("normal");
  Command("minimized");
  const auto states = shell.Entries("window");
  EXPECT_EQ(states, (std::vector<headless::Json>{"maximize", "restore", "minimize"}));
  EXPECT_EQ(shell.windows.MainWindowState(), WindowState::kMinimized);
}

TEST_F(FSCommandTest, ExitProgramUnloadsAndEndsAtOnceWith259) {
  Command("exitprogram", "whatever");
  EXPECT_TRUE(shell.flash1.Movie().empty());
  ASSERT_TRUE(shell.process.Terminated());
  EXPECT_EQ(shell.process.TerminatedWith(), 259u);
  EXPECT_EQ(shell.Entries("exit").size(), 1u);
}

TEST_F(FSCommandTest, ResourceIndexRunsWaitingMessagesOnce) {
  int ran = 0;
  shell.windows.Post([&] { ++ran; });
  Command("resourceindex");
  EXPECT_EQ(ran, 1);
}

TEST_F(FSCommandTest, SelectResourceArguments) {
  struct Case {
    const char* argument;
    std::string root;
    std::string callback;
  };
  const Case cases[] = {
      {"lesson3/@@@picked", Dir() + "lesson3/resource", "picked"},
      {"lesson3@@@onPicked", Dir() + "lesson3resource", "onPicked"},
      {"abcdef", Dir() + "resource", "cdef"},
      {"@@@cb", Dir() + "resource", "cb"},
      {"a\\b/@@@x@@@y", Dir() + "a/b/resource", "x@@@y"},
      {"", Dir() + "resource", ""},
  };
  for (const Case& c : cases) {
    Command("selectresource", c.argument);
    EXPECT_EQ(picker.CourseResourceRoot, ToNativeSeparators(c.root)) << c.argument;
    EXPECT_EQ(picker.PickCallbackName, c.callback) << c.argument;
  }
  const auto forms = shell.Entries("form");
  ASSERT_EQ(forms.size(), std::size(cases));
  EXPECT_EQ(forms[0]["name"], "TForm6");
  EXPECT_EQ(forms[0]["PickCallbackName"], "picked");
  EXPECT_EQ(forms[0]["CourseResourceRoot"], ToNativeSeparators(Dir() + "lesson3/resource"));
}

TEST_F(FSCommandTest, SelectResourceKeepsTheFirst999CharactersOfTheName) {
  Command("selectresource", "l/@@@" + std::string(1200, 'f'));
  EXPECT_EQ(picker.PickCallbackName, std::string(999, 'f'));
}

TEST(FSCommandCodePageTest, CharactersAreThoseOfTheCodePage) {
  ShellHarness shell("CP936");
  TForm6& picker = shell.course->Form6;
  // "丂" is 81 40 in CP936: its trail byte is "@" and must not count as a marker.
  std::u16string argument = u"课\u4E02@@@";
  for (int i = 0; i < 1000; ++i) argument += u'中';
  shell.flash1.Command(u"selectresource", argument);
  EXPECT_EQ(picker.CourseResourceRoot,
            ToNativeSeparators(text::A(shell.app.Dir() + "课丂resource")));
  EXPECT_EQ(text::Ansi().CharCount(picker.PickCallbackName), 999u);
  EXPECT_EQ(picker.PickCallbackName.size(), 999u * 2);
}

TEST_F(FSCommandTest, OtherResourceOpensTheManagerOnTheCourseFolder) {
  int ran = 0;
  shell.windows.Post([&] { ++ran; });
  Command("otherresource", "units/unit2/");
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(manager.CourseResourceRoot, ToNativeSeparators(Dir() + "units/unit2/resource"));
  const auto forms = shell.Entries("form");
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0]["name"], "TForm3");
}

}  // namespace
}  // namespace qm::testing
