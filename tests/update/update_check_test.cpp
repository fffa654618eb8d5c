// The update check of the main window against scripted servers on loopback: what the
// user is asked and shown, what is saved in the program folder, what is started.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/course_shell.h"
#include "posix/std_file_system.h"
#include "support/loopback_server.h"
#include "support/real_clock_windows.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using headless::Json;

const std::string kQuestion = "检查到软件有升级程序，是否升级？";
const std::string kManualCaption = "自动下载失败，请使用下列地址手动下载";
const std::string kManualPrompt = "升级文件路径：";

std::string Ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         std::string(body);
}

LoopbackServer::Script Reply(std::string reply) {
  return [reply](ServerConnection& c) {
    c.ReadRequest();
    c.Send(reply);
  };
}

std::string Payload(std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 12345;
  for (auto& c : out) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 24);
  }
  return out;
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() : real_files((text::SetAnsiCodePage("UTF-8"), text::Ansi())) {
    course = std::make_unique<CourseShell>(
        CoursePorts{flash1, flashversion, windows, dialogs, shell, files, process}, app.Dir(),
        "Course");
    form = &course->Form1;
    check = &course->Update;
    course->Start();
    // The version movie reports a recent runtime: the runtime check on the same tick passes.
    flashversion.SetVariable(u"mainver", u"32");
    flashversion.SetVariable(u"submainver", u"0");
    journal.Clear();
  }

  // Runs the check as Timer2 does.
  void RunCheck(const std::string& service) {
    check->UpdateServiceBaseUrl = service;
    form->Boundary().Run([&] { check->Timer2Timer(); });
  }
  static std::string CheckRequestLine() {
    return "GET /index.php/index/soft_update/" + std::string(UpdateCheck::kProductId) +
           "/1.0/ HTTP/1.1\r\n";
  }
  std::vector<Json> Dialogs(std::string_view type) const {
    std::vector<Json> out;
    for (const auto& e : journal.Entries()) {
      if (e.contains("dialog") && e["dialog"]["type"] == type) out.push_back(e["dialog"]);
    }
    return out;
  }
  std::vector<Json> Entries(std::string_view key) const {
    std::vector<Json> out;
    for (const auto& e : journal.Entries()) {
      if (e.contains(key)) out.push_back(e[std::string(key)]);
    }
    return out;
  }
  std::set<std::string> AppFiles() const {
    std::set<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(app.Path())) {
      out.insert(entry.path().filename().string());
    }
    return out;
  }
  // The manual-download dialog was shown with `address`, and nothing was started.
  void ExpectManualDownload(const std::string& address) {
    const auto inputs = Dialogs("input");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0]["caption"], kManualCaption);
    EXPECT_EQ(inputs[0]["prompt"], kManualPrompt);
    EXPECT_EQ(inputs[0]["text"], address);
    EXPECT_TRUE(Entries("shell").empty());
    EXPECT_FALSE(windows.Terminated());
    EXPECT_FALSE(check->Timer3->Enabled());
  }

  TempDir app;
  headless::Journal journal;
  headless::ScriptedFlashControl flash1{journal};
  headless::ScriptedFlashControl flashversion{journal};
  RealClockWindows windows{journal};
  headless::ScriptedDialogs dialogs{journal};
  headless::RecordingShell shell{journal};
  headless::ScriptedProcess process{journal};
  StdFileSystem real_files;
  FaultyFileSystem files{real_files};
  std::unique_ptr<CourseShell> course;
  TForm1* form = nullptr;        // course->Form1
  UpdateCheck* check = nullptr;  // course->Update
};

TEST_F(UpdateCheckTest, TimerRunsTheCheckOnceASecondAfterStart) {
  LoopbackServer server({Reply(Ok("newest"))});
  EXPECT_EQ(check->UpdateServiceBaseUrl, "http://update.invalid");  // the build's default
  EXPECT_FALSE(check->Timer3->Enabled());
  check->UpdateServiceBaseUrl = server.Url();
  windows.Advance(999);
  EXPECT_TRUE(server.Requests().empty());
  windows.Advance(1);
  EXPECT_FALSE(check->Timer2->Enabled());
  EXPECT_FALSE(check->IdAntiFreeze1.OnlyWhenIdle);
  windows.Advance(5000);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(0, CheckRequestLine().size()), CheckRequestLine());
}

TEST_F(UpdateCheckTest, NoUpgradeEndsSilentlyAndKeepsTheReply) {
  for (const std::string& reply : {std::string("newest"), std::string("You have the newest"),
                                   std::string("newest\0junk\r\n", 13)}) {
    app.WriteFile("result.txt", "old reply");
    LoopbackServer server({Reply(Ok(reply))});
    RunCheck(server.Url());
    EXPECT_TRUE(journal.Entries().empty()) << journal.Entries().front().dump();
    EXPECT_EQ(app.ReadFile("result.txt"), reply);  // byte for byte
  }
}

TEST_F(UpdateCheckTest, DecliningTheUpgradeEndsTheCheck) {
  for (const Json& answer : {Json(7), Json(nullptr)}) {  // No; closed (Escape, Alt+F4)
    journal.Clear();
    if (!answer.is_null()) dialogs.QueueAnswer(answer);
    LoopbackServer server({Reply(Ok("newest\r\n"))});
    RunCheck(server.Url());
    const auto messages = Dialogs("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["text"], kQuestion);
    EXPECT_EQ(messages[0]["caption"], "确认");
    EXPECT_EQ(messages[0]["kind"], 3);
    EXPECT_EQ(messages[0]["buttons"], 3);
    EXPECT_EQ(journal.Entries().size(), 1u);
    EXPECT_EQ(app.ReadFile("result.txt"), "newest\r\n");
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

TEST_F(UpdateCheckTest, UpgradeIsDownloadedStartedAndTheProgramEnds) {
  const std::string body = Payload(300000);
  LoopbackServer server({Reply(Ok("新版本 @@@/upload/setup.exe")), [&](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send("HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n");
                           c.SendSlowly(body, 60000);
                         }});
  app.WriteFile("setup.exe", "an older upgrade");
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());

  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 31), "GET /upload/setup.exe HTTP/1.1\r");
  const auto progress = Dialogs("progress");
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0], Json({{"type", "progress"},
                               {"event", "shown"},
                               {"caption", "进度"},
                               {"label", "进度"},
                               {"min", 0},
                               {"max", 300000}}));
  EXPECT_EQ(progress[1]["event"], "closed");
  EXPECT_EQ(progress[1]["by"], "value");
  EXPECT_EQ(progress[1]["value"], 300000);
  EXPECT_EQ(check->LastWorkCount, 300000);

  const auto started = Entries("shell");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], Json({{"verb", "open"},
                              {"file", app.Dir() + "setup.exe"},
                              {"params", ""},
                              {"dir", ""},
                              {"show", 1}}));
  EXPECT_TRUE(windows.Terminated());
  EXPECT_FALSE(check->Timer3->Enabled());
  EXPECT_EQ(app.ReadFile("setup.exe"), body);
  EXPECT_EQ(AppFiles(), (std::set<std::string>{"result.txt", "setup.exe"}));
  EXPECT_TRUE(Dialogs("input").empty());
}

TEST_F(UpdateCheckTest, AnEmptyReplyDownloadsTheServiceAddressItself) {
  LoopbackServer server({Reply(Ok("")), Reply(Ok("root"))});
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 16), "GET / HTTP/1.1\r\n");
  // The file is named after the address's last part, the host and port.
  const std::string name = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(app.ReadFile(name), "root");
  EXPECT_TRUE(windows.Terminated());
}

TEST_F(UpdateCheckTest, WithoutAMarkerThePathStartsAtTheThirdCharacter) {
  LoopbackServer server({Reply(Ok("ok/files/a.bin")), Reply(Ok("A"))});
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 25), "GET /files/a.bin HTTP/1.1");
  EXPECT_EQ(app.ReadFile("a.bin"), "A");
}

TEST_F(UpdateCheckTest, BodyWithoutLengthOpensTheProgressOverAnEmptyRange) {
  const std::string body = Payload(50000);
  LoopbackServer server({Reply(Ok("@@@/setup.bin")), [&](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send("HTTP/1.1 200 OK\r\n\r\n");
                           c.SendSlowly(body, 10000);
                           c.Close();
                         }});
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  const auto progress = Dialogs("progress");
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0]["max"], 0);
  EXPECT_EQ(progress[1]["event"], "closed");
  EXPECT_EQ(progress[1]["by"], "value");
  EXPECT_EQ(app.ReadFile("setup.bin"), body);
  EXPECT_EQ(Entries("shell").size(), 1u);
  EXPECT_TRUE(windows.Terminated());
}

TEST_F(UpdateCheckTest, ChunkedDownloadShowsTheProgressForEachChunk) {
  LoopbackServer server(
      {Reply(Ok("@@@/setup.bin")), Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                         "4\r\nabcd\r\n2\r\nef\r\n0\r\n\r\n")});
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  const auto progress = Dialogs("progress");
  ASSERT_EQ(progress.size(), 4u);
  EXPECT_EQ(progress[0]["max"], 4);
  EXPECT_EQ(progress[1]["by"], "value");
  EXPECT_EQ(progress[2]["max"], 2);
  EXPECT_EQ(progress[3]["by"], "value");
  EXPECT_EQ(app.ReadFile("setup.bin"), "abcdef");
  EXPECT_TRUE(windows.Terminated());
}

TEST_F(UpdateCheckTest, FailedDownloadsShowTheAddressForAManualDownload) {
  struct Case {
    std::string reply;     // of the check
    std::string download;  // the download's reply; "" when none must be asked for
    std::string path;      // the download path the address ends with
  };
  const std::vector<Case> cases = {
      {"@@@/upload/setup.exe", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n",
       "/upload/setup.exe"},
      {"@@@/upload/setup.exe", "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
       "/upload/setup.exe"},
      {"@@@/upload/", "", "/upload/"},      // no file name
      {"@@@/upload/..", "", "/upload/.."},  // not a file in the program folder
      {"@@@/u/..\\..\\evil.exe", "", "/u/..\\..\\evil.exe"},
  };
  for (const Case& c : cases) {
    journal.Clear();
    std::vector<LoopbackServer::Script> scripts = {Reply(Ok(c.reply))};
    if (!c.download.empty()) scripts.push_back(Reply(c.download));
    LoopbackServer server(scripts);
    app.WriteFile("setup.exe", "an older upgrade");
    dialogs.QueueAnswer(6);
    RunCheck(server.Url());
    SCOPED_TRACE(c.reply);
    ExpectManualDownload(server.Url() + c.path);
    EXPECT_EQ(server.Requests().size(), c.download.empty() ? 1u : 2u);
    EXPECT_EQ(app.ReadFile("setup.exe"), "an older upgrade");
    EXPECT_EQ(AppFiles(), (std::set<std::string>{"result.txt", "setup.exe"}));
    EXPECT_FALSE(std::filesystem::exists(app.Path().parent_path() / "evil.exe"));
  }
}

TEST_F(UpdateCheckTest, AnUpgradeFileThatCannotBeSavedShowsTheAddress) {
  std::filesystem::create_directory(app.Path() / "setup.bin");  // in the upgrade's place
  LoopbackServer server({Reply(Ok("@@@/setup.bin")), Reply(Ok("data"))});
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  ExpectManualDownload(server.Url() + "/setup.bin");
  EXPECT_TRUE(std::filesystem::is_directory(app.Path() / "setup.bin"));
}

TEST_F(UpdateCheckTest, FailedChecksShowNothing) {
  const std::vector<std::string> replies = {
      "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 301 Moved Permanently\r\nLocation: http://elsewhere/\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n" +
          std::string(2000000, 'x'),  // not a short text
  };
  for (const auto& reply : replies) {
    LoopbackServer server({Reply(reply)});
    RunCheck(server.Url());
    EXPECT_TRUE(journal.Entries().empty());
    EXPECT_FALSE(app.Exists("result.txt"));
  }
  RunCheck("http://update.invalid");
  EXPECT_TRUE(journal.Entries().empty());

  files.write_error = EInOutError::kDiskFull;  // the reply file cannot be saved
  LoopbackServer server({Reply(Ok("@@@/setup.bin"))});
  RunCheck(server.Url());
  EXPECT_TRUE(journal.Entries().empty());
  EXPECT_FALSE(windows.Terminated());
}

TEST_F(UpdateCheckTest, CancellingTheProgressStopsTheDownload) {
  bool client_closed = false;
  LoopbackServer server({Reply(Ok("@@@/upload/setup.exe")), [&](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n");
                           c.Send(Payload(1000));
                           client_closed = c.WaitForClientClose();  // and nothing more
                         }});
  // The user presses "取消" while the download waits for data.
  auto user = windows.CreateTimer(20, true, [&] {
    if (dialogs.ProgressOpen()) dialogs.CloseProgress(ProgressCloseReason::kCancelButton);
  });
  dialogs.QueueAnswer(6);
  RunCheck(server.Url());
  server.Join();

  EXPECT_TRUE(client_closed);
  const auto progress = Dialogs("progress");
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[1]["by"], "cancel");
  ExpectManualDownload(server.Url() + "/upload/setup.exe");
  EXPECT_EQ(AppFiles(), (std::set<std::string>{"result.txt"}));  // no partial upgrade
}

}  // namespace
}  // namespace qm::testing
