// The file-open dialog component and the file browser's rules: where a showing starts,
// what it keeps from one showing to the next, and what a confirmation chooses.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <set>

#include "posix/std_file_system.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/open_dialog.h"

namespace qm {
namespace {

// A browser that records each request and answers from a queue (unconfirmed, window
// left as it came, when the queue is empty).
class FakeBrowser : public IFileOpenDialogs {
 public:
  OpenDialogResult ShowOpenDialog(const OpenDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) {
      OpenDialogResult left;
      left.filter_index = request.filter_index;
      left.client_width = request.client_width;
      left.client_height = request.client_height;
      left.view = request.view;
      return left;
    }
    OpenDialogResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<OpenDialogRequest> requests;
  std::deque<OpenDialogResult> answers;
};

class OpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage("UTF-8");
    std::filesystem::create_directories(app.Path() / "course" / "sub");
    std::filesystem::create_directories(other.Path() / "docs");
  }
  void TearDown() override { text::SetAnsiCodePage("UTF-8"); }

  testing::TempDir app;
  testing::TempDir other;
  StdFileSystem fs{text::Ansi()};
  FakeBrowser browser;
  TbsSkinOpenDialog dialog{browser, fs, app.Dir()};
};

TEST_F(OpenDialogTest, StartFolderComesFromFileNameThenInitialDirThenAppDir) {
  dialog.InitialDir = other.Dir() + "docs";
  dialog.FileName = app.Dir() + "course/sub/lesson.swf";
  OpenDialogRequest request = dialog.BuildRequest();
  EXPECT_EQ(request.folder, app.Dir() + "course/sub/");
  EXPECT_EQ(request.file_name, "lesson.swf");

  // A bare name: the name box takes it, the folder comes from InitialDir.
  dialog.FileName = "notes.txt";
  request = dialog.BuildRequest();
  EXPECT_EQ(request.folder, other.Dir() + "docs");
  EXPECT_EQ(request.file_name, "notes.txt");

  dialog.InitialDir = other.Dir() + "missing";
  EXPECT_EQ(dialog.BuildRequest().folder, app.Dir());
  dialog.InitialDir.clear();
  dialog.FileName.clear();
  request = dialog.BuildRequest();
  EXPECT_EQ(request.folder, app.Dir());
  EXPECT_EQ(request.file_name, "");

  // FileName's folder is gone: AppDir, not InitialDir; Windows separators are native.
  dialog.InitialDir = other.Dir() + "docs";
  dialog.FileName = app.Dir() + "gone/x.txt";
  EXPECT_EQ(dialog.BuildRequest().folder, app.Dir());
  dialog.FileName = app.Dir() + "course\\sub\\x.txt";
  EXPECT_EQ(dialog.BuildRequest().folder, app.Dir() + "course/sub/");
}

TEST_F(OpenDialogTest, FirstShowingUsesTheDefaultsAndTheSettings) {
  dialog.Title = "Open file";
  dialog.Filter = "All files|*.*|Text|*.txt;*.ini";
  dialog.MultiSelection = true;
  dialog.CheckFileExists = true;
  dialog.DialogMinWidth = 300;
  dialog.DialogMinHeight = 200;
  OpenDialogRequest request = dialog.BuildRequest();
  EXPECT_EQ(request.title, "Open file");
  ASSERT_EQ(request.filters.size(), 2u);
  EXPECT_EQ(request.filters[1].description, "Text");
  EXPECT_EQ(request.filters[1].mask, "*.txt;*.ini");
  EXPECT_EQ(request.filter_index, 1);
  EXPECT_TRUE(request.multi_selection);
  EXPECT_TRUE(request.check_file_exists);
  EXPECT_EQ(request.client_width, 450);
  EXPECT_EQ(request.client_height, 290);
  EXPECT_EQ(request.min_width, 300);
  EXPECT_EQ(request.min_height, 200);
  EXPECT_EQ(request.view, FileBrowserView::kList);

  dialog.DialogWidth = -3;
  dialog.DialogHeight = 500;
  EXPECT_EQ(dialog.BuildRequest().client_width, 450);
  EXPECT_EQ(dialog.BuildRequest().client_height, 290);
  dialog.DialogWidth = 640;
  request = dialog.BuildRequest();
  EXPECT_EQ(request.client_width, 640);
  EXPECT_EQ(request.client_height, 500);

  // An index beyond the entries selects the nearest one.
  dialog.FilterIndex = 7;
  EXPECT_EQ(dialog.BuildRequest().filter_index, 2);
  dialog.FilterIndex = 0;
  EXPECT_EQ(dialog.BuildRequest().filter_index, 1);
}

TEST_F(OpenDialogTest, ConfirmedChoiceIsKeptAndACancelLeavesIt) {
  OpenDialogResult chosen;
  chosen.confirmed = true;
  chosen.file_name = other.Dir() + "docs/b.txt";
  chosen.files = {other.Dir() + "docs/a.txt", other.Dir() + "docs/b.txt"};
  chosen.filter_index = 2;
  chosen.client_width = 600;
  chosen.client_height = 400;
  chosen.view = FileBrowserView::kDetails;
  browser.answers.push_back(chosen);
  dialog.Filter = "All|*.*|Text|*.txt";
  ASSERT_TRUE(dialog.ChooseFiles());
  EXPECT_EQ(dialog.FileName, chosen.file_name);
  EXPECT_EQ(dialog.Files(), chosen.files);
  EXPECT_EQ(dialog.FilterIndex, 2);
  EXPECT_EQ(dialog.DialogWidth, 600);
  EXPECT_EQ(dialog.DialogHeight, 400);

  // The second showing: the folder of the last file, its name, the last size and view.
  OpenDialogResult cancelled;
  cancelled.filter_index = 1;
  cancelled.client_width = 500;
  cancelled.client_height = 350;
  cancelled.view = FileBrowserView::kSmallIcons;
  browser.answers.push_back(cancelled);
  EXPECT_FALSE(dialog.ChooseFiles());
  const OpenDialogRequest& second = browser.requests.back();
  EXPECT_EQ(second.folder, other.Dir() + "docs/");
  EXPECT_EQ(second.file_name, "b.txt");
  EXPECT_EQ(second.filter_index, 2);
  EXPECT_EQ(second.client_width, 600);
  EXPECT_EQ(second.client_height, 400);
  EXPECT_EQ(second.view, FileBrowserView::kDetails);
  // The cancel kept the choice but remembered how the window was left.
  EXPECT_EQ(dialog.FileName, chosen.file_name);
  EXPECT_EQ(dialog.Files(), chosen.files);
  EXPECT_EQ(dialog.FilterIndex, 1);
  EXPECT_EQ(dialog.DialogWidth, 500);
  EXPECT_EQ(dialog.BuildRequest().view, FileBrowserView::kSmallIcons);
}

TEST(OpenDialogRules, FilterTextsSplitIntoPairs) {
  EXPECT_TRUE(ParseFilter("").empty());
  EXPECT_TRUE(ParseFilter("Only a description").empty());
  auto filters = ParseFilter("All files|*.*");
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].description, "All files");
  EXPECT_EQ(filters[0].mask, "*.*");
  filters = ParseFilter("A|*.a|B|*.b|dangling");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[1].mask, "*.b");
  filters = ParseFilter("|*.x|E|");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].description, "");
  EXPECT_EQ(filters[1].mask, "");
}

TEST(OpenDialogRules, MasksMatchAsTheSystemsFileSearch) {
  text::SetAnsiCodePage("UTF-8");
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_TRUE(MatchesMask("a.b.c", "*.*"));
  EXPECT_TRUE(MatchesMask("Lesson.SWF", "*.swf"));
  EXPECT_FALSE(MatchesMask("lesson.swf.bak", "*.swf"));
  EXPECT_TRUE(MatchesMask("x.doc", "*.txt; *.doc"));
  EXPECT_FALSE(MatchesMask("x.docx", "*.txt;*.doc"));
  EXPECT_TRUE(MatchesMask("ab", "a?"));
  EXPECT_FALSE(MatchesMask("abc", "a?"));
  EXPECT_TRUE(MatchesMask("report", "rep*.*"));
  EXPECT_FALSE(MatchesMask("x.txt", ""));
  EXPECT_FALSE(MatchesMask("x.txt", " ; "));
  // "?" stands for one character of the code page, not one byte.
  EXPECT_TRUE(MatchesMask("课1.txt", "?1.txt"));
  text::SetAnsiCodePage("CP936");
  EXPECT_TRUE(MatchesMask(text::A("课1.TXT"), "?1.txt"));
  text::SetAnsiCodePage("UTF-8");
}

TEST_F(OpenDialogTest, EnterInTheNameBoxSetsAMaskShowsAFolderOrConfirms) {
  const std::string shown = app.Dir() + "course/";
  EXPECT_EQ(InterpretNameBox("*.swf", shown, fs).action, NameBoxCommand::kSetMask);
  NameBoxCommand command = InterpretNameBox("sub\\", shown, fs);
  EXPECT_EQ(command.action, NameBoxCommand::kShowFolder);
  EXPECT_EQ(command.folder, shown + "sub/");
  command = InterpretNameBox(other.Dir() + "docs", shown, fs);
  EXPECT_EQ(command.action, NameBoxCommand::kShowFolder);
  EXPECT_EQ(command.folder, other.Dir() + "docs");
  EXPECT_EQ(InterpretNameBox("nothere\\", shown, fs).action, NameBoxCommand::kConfirm);
  // A folder's bare name has no separator: it is a name to confirm.
  EXPECT_EQ(InterpretNameBox("sub", shown, fs).action, NameBoxCommand::kConfirm);
}

TEST(OpenDialogRules, ConfirmationTakesTheSelectedFilesInListOrder) {
  const auto exists = [](const std::string& path) { return path != "/d/gone.txt"; };
  BrowserState state;
  state.folder = "/d/";
  state.name_box = "b.txt";
  state.selected = {{"a.txt", false}, {"folder", true}, {"b.txt", false}};
  state.current = 2;
  auto choice = ConfirmChoice(state, true, exists);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->file_name, "/d/b.txt");
  EXPECT_EQ(choice->files, (std::vector<std::string>{"/d/a.txt", "/d/b.txt"}));

  // The current entry is the folder: the first selected file is the chosen one.
  state.current = 1;
  EXPECT_EQ(ConfirmChoice(state, true, exists)->file_name, "/d/a.txt");

  // An empty name box does nothing, whatever is selected.
  state.name_box.clear();
  EXPECT_FALSE(ConfirmChoice(state, false, exists));
}

TEST(OpenDialogRules, CheckFileExistsNeedsASelectedExistingFile) {
  const auto exists = [](const std::string& path) { return path != "/d/gone.txt"; };
  BrowserState state;
  state.folder = "/d";
  state.name_box = "typed.txt";
  EXPECT_FALSE(ConfirmChoice(state, true, exists));
  state.selected = {{"folder", true}};
  state.current = 0;
  EXPECT_FALSE(ConfirmChoice(state, true, exists));
  state.selected = {{"gone.txt", false}};
  EXPECT_FALSE(ConfirmChoice(state, true, exists));

  // Without the check: the selected file even when missing, else the typed name.
  auto choice = ConfirmChoice(state, false, exists);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->file_name, "/d/gone.txt");
  state.selected = {{"folder", true}};
  choice = ConfirmChoice(state, false, exists);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->file_name, "/d/typed.txt");
  EXPECT_TRUE(choice->files.empty());
  // A full path typed into the box is taken as it is.
  state.name_box = "/elsewhere/x.txt";
  EXPECT_EQ(ConfirmChoice(state, false, exists)->file_name, "/elsewhere/x.txt");
}

}  // namespace
}  // namespace qm
