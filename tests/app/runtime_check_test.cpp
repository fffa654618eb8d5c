// The Flash runtime check: the strict integer reading, the check on the main window with
// the scripted ports, and the headless driver's --flash-version as course authors use it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/runtime_check.h"
#include "headless/driver.h"
#include "platform/errors.h"
#include "platform/shell.h"
#include "posix/std_file_system.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using headless::Json;

const char kTooOld[] =
    "您目前使用的flashplayer版本不能支持本程序的正常运行，请运行文件：Adobe Flash "
    "Player11.4.exe进行升级。";
const char kUnreadable[] =
    "您未安装或安装flashplayer有问题，请运行文件：Adobe Flash Player11.4.exe进行重新安装。";

TEST(StrToInt, AcceptsBlanksSignDecimalAndHexadecimal) {
  const std::vector<std::pair<std::string, std::int32_t>> accepted = {
      {"0", 0},
      {"10", 10},
      {"  11", 11},
      {"+2", 2},
      {"-3", -3},
      {" -0", 0},
      {"007", 7},
      {"$1A", 26},
      {"$ff", 255},
      {"0x10", 16},
      {"0XaB", 171},
      {"-$10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"$FFFFFFFF", -1},
      {"0x7fffffff", 2147483647}};
  for (const auto& [text, value] : accepted) {
    EXPECT_EQ(StrToInt(text), value) << '"' << text << '"';
  }
}

TEST(StrToInt, RejectsEverythingElse) {
  for (const char* text : {"",    " ",   "+",   "-",          "$",           "0x",         "10 ",
                           "1.0", "1,0", "\t5", "5a",         "a5",          "$g",         "0x1g",
                           "++1", "- 1", "x10", "2147483648", "-2147483649", "$100000000", "１"}) {
    EXPECT_THROW(StrToInt(text), EConvertError) << '"' << text << '"';
  }
}

// A main window on the scripted ports whose version movie has set nothing yet.
struct CheckHarness : ShellHarness {
  CheckHarness() {
    flashversion.UnsetVariable(u"mainver");
    flashversion.UnsetVariable(u"submainver");
  }
};

// The main window on the scripted ports, with the version movie's variables set.
class RuntimeCheck : public ::testing::Test {
 protected:
  void SetVersion(const std::u16string& major, const std::u16string& minor) {
    h.flashversion.SetVariable(u"mainver", major);
    h.flashversion.SetVariable(u"submainver", minor);
  }
  // The message dialogs shown so far, and whether the program was asked to end while
  // each was still open.
  std::vector<Json> Messages() const {
    std::vector<Json> shown;
    for (const Json& e : h.Entries("dialog")) shown.push_back(e);
    return shown;
  }
  void Tick() { h.windows.Advance(1000); }

  CheckHarness h;
};

TEST_F(RuntimeCheck, TooOldRuntimesEndTheProgramAfterTheMessage) {
  for (const auto& [major, minor] : std::vector<std::pair<std::u16string, std::u16string>>{
           {u"9", u"0"}, {u"9", u"115"}, {u"10", u"1"}, {u"10", u"0"}, {u"-1", u"5"}}) {
    CheckHarness fresh;
    fresh.flashversion.SetVariable(u"mainver", major);
    fresh.flashversion.SetVariable(u"submainver", minor);
    bool ended_while_open = true;
    fresh.dialogs.while_open = [&] { ended_while_open = fresh.windows.Terminated(); };
    fresh.windows.Advance(1000);
    const auto dialogs = fresh.Entries("dialog");
    ASSERT_EQ(dialogs.size(), 1u);
    const Json& d = dialogs[0];
    EXPECT_EQ(d["type"], "message");
    EXPECT_EQ(d["text"], kTooOld);
    EXPECT_EQ(d["kind"], 1);     // error
    EXPECT_EQ(d["buttons"], 4);  // [OK]
    EXPECT_FALSE(ended_while_open) << "the program must end only after the message closed";
    EXPECT_TRUE(fresh.windows.Terminated());
  }
}

TEST_F(RuntimeCheck, RecentRuntimesPassSilentlyAndTheCheckDoesNotRepeat) {
  for (const auto& [major, minor] : std::vector<std::pair<std::u16string, std::u16string>>{
           {u"10", u"2"}, {u"11", u"0"}, {u"10", u"10"}, {u"32", u"0"}, {u" +11", u"$0"}}) {
    CheckHarness fresh;
    fresh.flashversion.SetVariable(u"mainver", major);
    fresh.flashversion.SetVariable(u"submainver", minor);
    fresh.windows.Advance(1000);
    EXPECT_TRUE(fresh.Entries("dialog").empty());
    EXPECT_FALSE(fresh.windows.Terminated());
    EXPECT_FALSE(fresh.form->Timer1->Enabled());
    // Later the movie reports an old version: the check has run for good.
    fresh.flashversion.SetVariable(u"mainver", u"9");
    fresh.windows.Advance(5000);
    EXPECT_TRUE(fresh.Entries("dialog").empty());
    EXPECT_FALSE(fresh.windows.Terminated());
  }
}

TEST_F(RuntimeCheck, UnreadableVersionsEndTheProgramWithTheReinstallMessage) {
  // Each case: what the version movie set (nullopt: nothing).
  struct Case {
    std::optional<std::u16string> major, minor;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt},  // the movie sets nothing
      {u"11", std::nullopt},         // only the major version
      {u"11", u""},                  // an empty minor version, though 11 alone would pass
      {u"9", u"x"},                  // an unreadable minor version, though 9 alone would fail
      {u"10.2", u"2"},
      {u"", u"2"},
      {u"10 ", u"2"},
      {u"ten", u"2"},
      {u"99999999999", u"0"},
  };
  for (const Case& c : cases) {
    CheckHarness fresh;
    if (c.major) fresh.flashversion.SetVariable(u"mainver", *c.major);
    if (c.minor) fresh.flashversion.SetVariable(u"submainver", *c.minor);
    fresh.windows.Advance(1000);
    const auto dialogs = fresh.Entries("dialog");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]["text"], kUnreadable);
    EXPECT_EQ(dialogs[0]["kind"], 1);
    EXPECT_EQ(dialogs[0]["buttons"], 4);
    EXPECT_TRUE(fresh.windows.Terminated());
    EXPECT_TRUE(fresh.Entries("error_report").empty()) << "nothing reaches the error report";
  }
}

TEST_F(RuntimeCheck, RunsOnTheFirstTickOnlyAndBeforeTheUpdateCheck) {
  SetVersion(u"9", u"0");
  EXPECT_TRUE(h.form->Timer1->Enabled());
  EXPECT_EQ(h.form->Timer1->Interval(), 1000);
  h.windows.Advance(999);
  EXPECT_TRUE(Messages().empty());
  // While the message is open its loop runs the other timers; the update check has not
  // run before it (it shares the tick and comes second).
  bool update_ran_before = true;
  h.dialogs.while_open = [&] {
    update_ran_before = h.app.Exists("result.txt") || !h.course->Update.Timer2->Enabled();
  };
  h.windows.Advance(1);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_FALSE(update_ran_before);
  EXPECT_FALSE(h.form->Timer1->Enabled());
}

// While the course movie waits in a call (a dialog it opened, a window drag), the version
// cannot be read: the check waits for a later tick instead of calling the runtime broken.
// A program that is already ending says nothing about the runtime.
TEST_F(RuntimeCheck, WaitsWhileTheMovieIsBusyAndStaysQuietWhenEnding) {
  SetVersion(u"32", u"0");
  h.flashversion.busy = true;
  Tick();
  Tick();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(h.form->Timer1->Enabled());
  h.flashversion.busy = false;
  Tick();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(h.form->Timer1->Enabled());

  CheckHarness ending;  // nothing readable, and the program asked to end meanwhile
  ending.windows.Terminate();
  ending.windows.Advance(1000);
  EXPECT_TRUE(ending.Entries("dialog").empty());
}

// --- the driver, as a course author runs it ------------------------------------------------

std::vector<Json> RunDriver(const std::string& app_dir, const std::string& appdata,
                            std::optional<std::pair<std::string, std::string>> version,
                            const std::vector<std::string>& lines, int* exit_status) {
  headless::DriverOptions options;
  options.app_dir = app_dir;
  options.common_appdata = appdata;
  options.codepage = "UTF-8";
  options.app_title = "Course";
  options.flash_version = std::move(version);
  std::vector<Json> out;
  {
    headless::Driver driver(options,
                            [&](const std::string& line) { out.push_back(Json::parse(line)); });
    driver.Start();
    for (const std::string& line : lines) {
      if (!driver.HandleLine(line)) break;
    }
    driver.Finish();
    *exit_status = driver.ExitStatus();
  }
  text::SetAnsiCodePage("UTF-8");
  return out;
}

TEST(RuntimeCheckDriver, FlashVersionOption) {
  struct Case {
    std::optional<std::pair<std::string, std::string>> version;
    const char* message;  // nullptr: none, and the program goes on
  };
  const std::vector<Case> cases = {
      {std::pair<std::string, std::string>{"9", "0"}, kTooOld},
      {std::pair<std::string, std::string>{"10", "1"}, kTooOld},
      {std::pair<std::string, std::string>{"10", "2"}, nullptr},
      {std::pair<std::string, std::string>{"11", "0"}, nullptr},
      {std::pair<std::string, std::string>{"11", ""}, kUnreadable},
      {std::nullopt, kUnreadable},
  };
  for (const Case& c : cases) {
    TempDir app, appdata;
    int status = -1;
    const std::vector<Json> out =
        RunDriver(app.Dir(), appdata.Path().string(), c.version,
                  {R"({"advance_ms": 1000})", R"({"fscommand": ["minimized", ""]})"}, &status);
    std::vector<Json> dialogs;
    bool minimized = false;
    for (const Json& line : out) {
      if (line.contains("dialog")) dialogs.push_back(line["dialog"]);
      if (line == Json({{"window", "minimize"}})) minimized = true;
    }
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), Json({{"exit", 0}}));
    EXPECT_EQ(status, 0);
    if (c.message == nullptr) {
      EXPECT_TRUE(dialogs.empty());
      EXPECT_TRUE(minimized) << "the program should run on after a passed check";
    } else {
      ASSERT_EQ(dialogs.size(), 1u);
      EXPECT_EQ(dialogs[0]["text"], c.message);
      EXPECT_FALSE(minimized) << "the program should end after the message";
    }
  }
}

TEST(RuntimeCheckDriver, TheDriverProgramEndsAfterTheMessage) {
  TempDir app, appdata, scratch;
  scratch.WriteFile("script.jsonl",
                    "{\"advance_ms\": 1000}\n{\"fscommand\": [\"normal\", \"\"]}\n");
  const std::string command = std::string(QM_HEADLESS_EXE) + " --app-dir '" + app.Dir() +
                              "' --common-appdata '" + appdata.Path().string() +
                              "' --codepage UTF-8 --flash-version 10.1 < '" +
                              (scratch.Path() / "script.jsonl").string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<Json> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2]["dialog"]["text"], kTooOld);
  EXPECT_EQ(lines.back(), Json({{"exit", 0}}));
}

}  // namespace
}  // namespace qm::testing
