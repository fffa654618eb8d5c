#include "resources/document_launcher.h"

#include <gtest/gtest.h>

#include "headless/scripted_ports.h"
#include "text/codepage.h"

namespace qm {
namespace {

class DocumentLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { text::SetAnsiCodePage("UTF-8"); }
  headless::Json Open(const std::string& path) {
    journal.Clear();
    OpenDocument(shell, "C:\\course\\", path, nullptr);
    EXPECT_EQ(journal.Entries().size(), 1u);
    return journal.Entries().back()["shell"];
  }
  headless::Journal journal;
  headless::RecordingShell shell{journal};
};

TEST_F(DocumentLauncherTest, MoviesGoToTheStandalonePlayerUnquoted) {
  for (const char* path : {"C:\\course\\Lesson 1.SWF", "introswf", "a.swf", "swf"}) {
    const auto request = Open(path);
    EXPECT_EQ(request["file"], "C:\\course\\FlashPlayer.exe") << path;
    EXPECT_EQ(request["params"], path);
    EXPECT_EQ(request["verb"], "open");
    EXPECT_EQ(request["dir"], "");
    EXPECT_EQ(request["show"], 1);
  }
}

TEST_F(DocumentLauncherTest, EverythingElseGoesToTheShell) {
  for (const char* path : {"notes.swf.bak", "a.swf.txt", "sw", "f", "", "swf ", "picture.jpg"}) {
    const auto request = Open(path);
    EXPECT_EQ(request["file"], path);
    EXPECT_EQ(request["params"], "");
  }
}

TEST_F(DocumentLauncherTest, DoubleByteCharactersCountOnce) {
  text::SetAnsiCodePage("CP936");
  // The last three characters of "课swf" are "swf"; of "课wf" they are "课wf".
  EXPECT_EQ(Open(text::A("课swf"))["params"], "课swf");
  EXPECT_EQ(Open(text::A("课wf"))["params"], "");
  text::SetAnsiCodePage("UTF-8");
}

TEST_F(DocumentLauncherTest, AFailingShellIsNotReported) {
  shell.execute_result = 2;
  EXPECT_NO_THROW(OpenDocument(shell, "/c/", "missing.doc", nullptr));
}

}  // namespace
}  // namespace qm
