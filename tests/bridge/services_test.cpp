// The movie's commands, each through the FlashCall event.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

class ServicesTest : public ::testing::Test {
 protected:
  ShellHarness shell;
  std::string ErrorReport() {
    const auto reports = shell.Entries("error_report");
    return reports.empty() ? std::string("(none)") : reports.back().get<std::string>();
  }
};

TEST_F(ServicesTest, LoadFileAndLoadBytesOfMissingFilesAndFolders) {
  EXPECT_EQ(shell.Invoke("loadfile", {"missing.txt"}), "<string></string>");
  EXPECT_EQ(ErrorReport(), "(none)");
  EXPECT_EQ(shell.Invoke("loadBytes", {"missing.txt"}), std::nullopt);
  EXPECT_EQ(ErrorReport(), "File not found.");
  EXPECT_EQ(shell.Invoke("loadBytes", {"nofolder/missing.txt"}), std::nullopt);
  EXPECT_EQ(ErrorReport(), "Invalid filename.");
  fs::create_directory(shell.app.Path() / "folder");
  EXPECT_EQ(shell.Invoke("loadfile", {"folder"}), "<string></string>");
  EXPECT_EQ(shell.Invoke("fileexists", {"folder"}), "<false/>");
}

TEST_F(ServicesTest, SaveThenLoadGivesTheFirstLine) {
  EXPECT_EQ(shell.Invoke("savefile", {"notes.txt", "first\nsecond\nthird"}), "<true/>");
  EXPECT_EQ(shell.app.ReadFile("notes.txt"), "first\r\nsecond\r\nthird\r\n");
  EXPECT_EQ(shell.Invoke("loadfile", {"notes.txt"}), "<string>first</string>");
  EXPECT_EQ(shell.Invoke("loadBytes", {"notes.txt"}), "<string>first</string>");
  // Replacing keeps no trace of the longer old content.
  EXPECT_EQ(shell.Invoke("saveToUTF8", {"notes.txt", "x"}), "<true/>");
  EXPECT_EQ(shell.app.ReadFile("notes.txt"), "x\r\n");
}

TEST_F(ServicesTest, SaveCreatesMissingFoldersWithEitherSeparator) {
  EXPECT_EQ(shell.Invoke("savefile", {"data/lesson1/answers.txt", "a"}), "<true/>");
  EXPECT_EQ(shell.app.ReadFile("data/lesson1/answers.txt"), "a\r\n");
  EXPECT_EQ(shell.Invoke("saveBytes", {"data\\lesson2\\answers.txt", "b"}), "<true/>");
  EXPECT_EQ(shell.app.ReadFile("data/lesson2/answers.txt"), "b\r\n");
  // A course written on Windows finds its files in any letter case.
  EXPECT_EQ(shell.Invoke("loadfile", {"DATA\\Lesson2\\ANSWERS.TXT"}), "<string>b</string>");
  EXPECT_EQ(shell.Invoke("fileexists", {"Data/LESSON1/answers.txt"}), "<true/>");
}

TEST_F(ServicesTest, FileExistsTakesSearchPatterns) {
  shell.app.WriteFile("audio/l1.mp3", "");
  EXPECT_EQ(shell.Invoke("fileexists", {"audio/l1.mp3"}), "<true/>");
  EXPECT_EQ(shell.Invoke("fileexists", {"audio/*.mp3"}), "<true/>");
  EXPECT_EQ(shell.Invoke("fileexists", {"audio/l?.MP3"}), "<true/>");
  EXPECT_EQ(shell.Invoke("fileexists", {"audio/*.wav"}), "<false/>");
  EXPECT_EQ(shell.Invoke("fileexists", {"audio/l2.mp3"}), "<false/>");
}

TEST_F(ServicesTest, TextOutsideAsciiIsStoredAsUtf8AndReadBackAsBytes) {
  ShellHarness cp936("CP936");
  ASSERT_EQ(cp936.Invoke("savefile", {"u.txt", "中文"}), "<true/>");
  EXPECT_EQ(cp936.app.ReadFile("u.txt"), "中文\r\n");  // UTF-8 on disk
  // Read back, the UTF-8 bytes are taken as text of the code page.
  const std::string as_cp936 =
      text::Utf16ToUtf8(text::CodePage("CP936").ToUtf16("\xE4\xB8\xAD\xE6\x96\x87"));
  EXPECT_EQ(cp936.Invoke("loadfile", {"u.txt"}), "<string>" + as_cp936 + "</string>");
  EXPECT_NE(as_cp936, "中文");
  // saveBytes keeps the code page's bytes, so the text comes back as saved.
  ASSERT_EQ(cp936.Invoke("saveBytes", {"b.txt", "中文"}), "<true/>");
  EXPECT_EQ(cp936.app.ReadFile("b.txt"), "\xD6\xD0\xCE\xC4\r\n");
  EXPECT_EQ(cp936.Invoke("loadBytes", {"b.txt"}), "<string>中文</string>");
}

TEST_F(ServicesTest, NewFolder) {
  EXPECT_EQ(shell.Invoke("newfolder", {"a/b/c"}), "<true/>");
  EXPECT_TRUE(fs::is_directory(shell.app.Path() / "a/b/c"));
  EXPECT_EQ(shell.Invoke("newfolder", {"a/b/c/"}), "<true/>");  // exists; trailing "/"
  EXPECT_EQ(shell.Invoke("newfolder", {"A\\B"}), "<true/>");    // exists in another case
  EXPECT_TRUE(shell.Entries("dialog").empty());

  shell.app.WriteFile("file", "x");
  EXPECT_EQ(shell.Invoke("newfolder", {"file/sub"}), "<false/>");
  const auto dialogs = shell.Entries("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["type"], "message");
  EXPECT_EQ(dialogs[0]["text"], "创建文件夹失败");
  EXPECT_EQ(dialogs[0]["caption"], "错误");
  EXPECT_EQ(dialogs[0]["kind"], 1);
  EXPECT_EQ(dialogs[0]["buttons"], 4);
}

TEST_F(ServicesTest, GetAppDir) {
  EXPECT_EQ(shell.Invoke("getAppDir"), "<string>" + shell.app.Dir() + "</string>");
}

TEST_F(ServicesTest, IoErrorsReachTheErrorReportWithTheirMessages) {
  const std::pair<int, const char*> cases[] = {
      {2, "File not found."},     {3, "Invalid filename."},          {4, "Too many open files."},
      {5, "File access denied."}, {100, "Read beyond end of file."}, {101, "Disk full."},
      {1117, "I/O error 1117."}};
  shell.app.WriteFile("x.txt", "old\r\n");
  for (const auto& [code, message] : cases) {
    shell.files.write_error = code;
    EXPECT_EQ(shell.Invoke("savefile", {"x.txt", "new"}), std::nullopt);
    EXPECT_EQ(ErrorReport(), message);
    shell.files.write_error.reset();
    shell.files.read_error = code;
    EXPECT_EQ(shell.Invoke("loadfile", {"x.txt"}), std::nullopt);
    EXPECT_EQ(ErrorReport(), message);
    shell.files.read_error.reset();
  }
  EXPECT_EQ(shell.app.ReadFile("x.txt"), "old\r\n");
}

TEST_F(ServicesTest, SettingsStore) {
  EXPECT_EQ(shell.Invoke("loadreg", {"never"}), "<string></string>");
  EXPECT_EQ(shell.Invoke("savereg", {"user", "Li Lei"}), "<true/>");
  EXPECT_EQ(shell.appdata.ReadFile("quillmere/user"), "Li Lei\r\n");
  EXPECT_EQ(shell.Invoke("loadreg", {"user"}), "<string>Li Lei</string>");
  // A key in a subfolder that does not exist is lost, and the movie still hears true.
  EXPECT_EQ(shell.Invoke("savereg", {"no/such", "v"}), "<true/>");
  EXPECT_FALSE(shell.appdata.Exists("quillmere/no"));
  EXPECT_EQ(shell.Invoke("loadreg", {"no/such"}), "<string></string>");
  EXPECT_TRUE(shell.Entries("dialog").empty());
  EXPECT_TRUE(shell.Entries("error_report").empty());
}

TEST_F(ServicesTest, SettingsStoreKeepsValuesAsUtf8) {
  ShellHarness cp936("CP936");
  ASSERT_EQ(cp936.Invoke("savereg", {"name", "李雷"}), "<true/>");
  EXPECT_EQ(cp936.appdata.ReadFile("quillmere/name"), "李雷\r\n");
  const std::string as_cp936 =
      text::Utf16ToUtf8(text::CodePage("CP936").ToUtf16(std::string("李雷")));
  EXPECT_EQ(cp936.Invoke("loadreg", {"name"}), "<string>" + as_cp936 + "</string>");
}

TEST_F(ServicesTest, SettingsFolderMessages) {
  shell.files.refuse_folders = true;
  EXPECT_EQ(shell.Invoke("savereg", {"k", "v"}), "<true/>");
  EXPECT_EQ(shell.Invoke("loadreg", {"k"}), "<string></string>");
  auto dialogs = shell.Entries("dialog");
  ASSERT_EQ(dialogs.size(), 2u);
  for (const auto& d : dialogs) {
    EXPECT_EQ(d["type"], "plain");
    EXPECT_EQ(d["text"], "创建运行目录失败，请联系管理员");
    EXPECT_EQ(d["caption"], "Course");
  }

  shell.files.refuse_folders = false;
  shell.journal.Clear();
  shell.shell.special_folder_error = "no shell";
  EXPECT_EQ(shell.Invoke("loadreg", {"k"}), "<string></string>");
  dialogs = shell.Entries("dialog");
  ASSERT_GE(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["text"], "获取系统目录失败，请联系管理员");
  EXPECT_TRUE(shell.Entries("error_report").empty());
}

TEST_F(ServicesTest, DragSwitch) {
  EXPECT_EQ(shell.Invoke("DragingWindow"), std::nullopt);
  EXPECT_EQ(shell.Entries("window").size(), 1u);
  EXPECT_EQ(shell.Invoke("disableDragWindow"), std::nullopt);
  EXPECT_FALSE(shell.form->DragEnabled);
  shell.Invoke("DragingWindow");
  EXPECT_EQ(shell.Entries("window").size(), 1u);
  EXPECT_EQ(shell.Invoke("enableDragWindow"), std::nullopt);
  shell.Invoke("DragingWindow");
  EXPECT_EQ(shell.Entries("window").size(), 2u);
  EXPECT_EQ(shell.Entries("window")[1], "drag");
}

TEST_F(ServicesTest, UnknownNamesAndOtherLetterCaseDoNothing) {
  shell.app.WriteFile("a.txt", "x\r\n");
  EXPECT_EQ(shell.Invoke("loadFile", {"a.txt"}), std::nullopt);
  EXPECT_EQ(shell.Invoke("LOADFILE", {"a.txt"}), std::nullopt);
  EXPECT_EQ(shell.Invoke("format", {"c:"}), std::nullopt);
  EXPECT_TRUE(shell.journal.Entries().empty());
}

TEST(MainFormTest, FormCreate) {
  ShellHarness shell;
  // The harness ran FormCreate; run it again to see what it asks of the platform.
  shell.form->FormCreate();
  const auto requests = shell.Entries("shell");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["verb"], "open");
  EXPECT_EQ(requests[0]["file"], "regsvr32 " + shell.app.Dir() + "Flash10h.ocx");
  EXPECT_EQ(requests[0]["params"], "");
  EXPECT_EQ(requests[0]["show"], 1);
  EXPECT_EQ(text::Utf16ToUtf8(shell.flash1.Movie()), shell.app.Dir() + "main.swf");
  EXPECT_EQ(text::Utf16ToUtf8(shell.flashversion.Movie()), shell.app.Dir() + "version.swf");
  EXPECT_TRUE(shell.form->DragEnabled);
  EXPECT_EQ(shell.course->Update.ProductVersion, "1.0");
  const std::string& id = shell.course->Update.ProductId;
  ASSERT_EQ(id.size(), 36u);
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(id[i], '-');
    } else {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(id[i])) ||
                  (id[i] >= 'A' && id[i] <= 'F'));
    }
  }
}

TEST(MainFormTest, RightButtonPressesOnTheMovieAreDropped) {
  ShellHarness shell;
  EXPECT_FALSE(shell.windows.Deliver({WindowMessage::kRButtonDown, shell.flash1.Window()}));
  EXPECT_TRUE(shell.windows.Deliver({WindowMessage::kRButtonUp, shell.flash1.Window()}));
  EXPECT_TRUE(shell.windows.Deliver({WindowMessage::kRButtonDown, shell.flashversion.Window()}));
  int dialog_window = 0;
  EXPECT_TRUE(shell.windows.Deliver({WindowMessage::kRButtonDown, &dialog_window}));
}

}  // namespace
}  // namespace qm::testing
