// The resource manager's handlers on views over a temporary program folder.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "platform/open_dialog_port.h"
#include "resources/resource_forms.h"
#include "support/fake_shell_views.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using headless::Json;

// The file browser answers from a queue; nothing queued: cancelled.
class ScriptedBrowser : public IFileOpenDialogs {
 public:
  OpenDialogResult ShowOpenDialog(const OpenDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return {};
    OpenDialogResult result = answers.front();
    answers.pop_front();
    return result;
  }
  void Choose(std::vector<std::string> files) {
    OpenDialogResult result;
    result.confirmed = true;
    result.file_name = files.empty() ? std::string() : files.front();
    result.files = std::move(files);
    answers.push_back(result);
  }
  std::deque<OpenDialogResult> answers;
  std::vector<OpenDialogRequest> requests;
};

// Remembers the owner window of every request.
class OwnerShell : public headless::RecordingShell {
 public:
  using RecordingShell::RecordingShell;
  int Execute(const ShellRequest& request) override {
    owners.push_back(request.owner);
    return RecordingShell::Execute(request);
  }
  int FileOperation(const ShellFileOperation& operation) override {
    operation_owners.push_back(operation.owner);
    return RecordingShell::FileOperation(operation);
  }
  std::vector<const void*> owners;
  std::vector<const void*> operation_owners;
};

class ResourceManagerTest : public ::testing::Test {
 protected:
  ResourceManagerTest() {
    h.app.WriteFile("resources/songs/a.mp3", "song a");
    h.app.WriteFile("resources/songs/b.mp3", "song b");
    h.app.WriteFile("resources/pictures/p.png", "png");
    h.app.WriteFile("resources/top.txt", "top");
    h.app.WriteFile("lesson1/resource/intro.swf", "swf");
    h.app.WriteFile("lesson1/resource/words/list.doc", "doc");
    h.app.WriteFile("lesson2/resource/other.doc", "doc");
    form.CourseResourceRoot = Course("lesson1");
    form.Attach({tree, list, course_tree, course_list, h.dialogs, browser, h.files, shell,
                 h.form->Boundary(), h.app.Dir(), "Course", &window,
                 [this] { return static_cast<const void*>(&active_window); },
                 [this] { ++closed; }});
  }

  std::string Lib(const std::string& below = {}) const {
    return h.app.Dir() + "resources" + (below.empty() ? "" : "/" + below);
  }
  std::string Course(const std::string& lesson) const { return h.app.Dir() + lesson + "/resource"; }
  // A handler as the window runs it: inside the boundary.
  template <typename F>
  void Run(F handler) {
    h.form->Boundary().Run(handler);
  }
  std::vector<Json> Errors() const { return h.Entries("error_report"); }
  std::vector<Json> Dialogs() const { return h.Entries("dialog"); }

  ShellHarness h;
  OwnerShell shell{h.journal};
  ScriptedBrowser browser;
  FakeFolderTree tree, course_tree;
  FakeFileList list, course_list;
  int window = 0;
  int active_window = 0;
  int closed = 0;
  TForm3 form;
};

TEST_F(ResourceManagerTest, FirstShowingRootsBothPagesLaterShowingsKeepTheLibraryPage) {
  EXPECT_EQ(tree.Root(), kRootMyComputer);
  Run([&] { form.FormShow(); });
  EXPECT_EQ(form.LibraryRoot, Lib());
  EXPECT_EQ(tree.Root(), Lib());
  EXPECT_EQ(list.Root(), Lib());
  EXPECT_EQ(list.Names(), std::vector<std::string>{"top.txt"});
  EXPECT_EQ(course_tree.Root(), Course("lesson1"));
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"intro.swf"});

  // The user works on both pages, then closes and reopens for the same course.
  ASSERT_TRUE(tree.Click(Lib("songs")));
  ASSERT_TRUE(list.Select("b.mp3"));
  ASSERT_TRUE(course_tree.Click(Course("lesson1") + "/words"));
  Run([&] { form.bsSkinButton2Click(); });
  EXPECT_EQ(closed, 1);
  Run([&] { form.FormShow(); });
  EXPECT_EQ(tree.SelectedPath(), Lib("songs"));
  EXPECT_EQ(list.SelectedFilePath(), Lib("songs/b.mp3"));
  EXPECT_EQ(course_list.Root(), Course("lesson1") + "/words");
  EXPECT_EQ(tree.set_root_count, 1);
  EXPECT_EQ(course_tree.set_root_count, 1);

  // Another course re-roots the course page only.
  form.CourseResourceRoot = Course("lesson2");
  Run([&] { form.FormShow(); });
  EXPECT_EQ(course_tree.Root(), Course("lesson2"));
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"other.doc"});
  EXPECT_EQ(list.SelectedFilePath(), Lib("songs/b.mp3"));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ResourceManagerTest, RootsThatCannotBeOpenedAreReportedAndTheLibraryIsNotRetried) {
  std::filesystem::rename(h.app.Path() / "resources", h.app.Path() / "elsewhere");
  Run([&] { form.FormShow(); });
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(Errors()[0], "Error setting path: \"" + Lib() + "\"");
  EXPECT_EQ(form.LibraryRoot, Lib());
  EXPECT_EQ(tree.Root(), kRootMyComputer);
  // The showing stopped there: the course page was not rooted either.
  EXPECT_EQ(course_tree.Root(), kRootMyComputer);

  // The folder comes back; the next showing leaves the library page alone but roots the
  // course page.
  std::filesystem::rename(h.app.Path() / "elsewhere", h.app.Path() / "resources");
  Run([&] { form.FormShow(); });
  EXPECT_EQ(tree.Root(), kRootMyComputer);
  EXPECT_EQ(course_tree.Root(), Course("lesson1"));

  // A course without a resource folder: reported, the course page stays where it was.
  form.CourseResourceRoot = Course("lesson9");
  Run([&] { form.FormShow(); });
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_EQ(Errors()[1], "Error setting path: \"" + Course("lesson9") + "\"");
  EXPECT_EQ(course_tree.Root(), Course("lesson1"));
  EXPECT_EQ(course_list.Root(), Course("lesson1"));
}

TEST_F(ResourceManagerTest, OnlyAClickInTheTreeChangesTheList) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.SelectWithKeyboard(Lib("pictures")));
  EXPECT_EQ(list.Root(), Lib());
  ASSERT_TRUE(tree.Click(Lib("songs")));
  EXPECT_EQ(list.Root(), Lib("songs"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.mp3", "b.mp3"}));
  ASSERT_TRUE(course_tree.Click(Course("lesson1") + "/words"));
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"list.doc"});
}

TEST_F(ResourceManagerTest, NewCategoryCancelledOrEmptyDoesNothing) {
  Run([&] { form.FormShow(); });
  h.dialogs.QueueAnswer(nullptr);  // cancelled
  Run([&] { form.bsSkinButton3Click(); });
  h.dialogs.QueueAnswer("");  // confirmed empty
  Run([&] { form.bsSkinButton3Click(); });
  const auto dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0]["type"], "input");
  EXPECT_EQ(dialogs[0]["caption"], "新建类别");
  EXPECT_EQ(dialogs[0]["prompt"], "请输入类别名称");
  EXPECT_EQ(dialogs[0]["text"], "");
  EXPECT_TRUE(tree.refreshed.empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(h.app.Path() / "resources"),
                          std::filesystem::directory_iterator()),
            3);
}

TEST_F(ResourceManagerTest, NewCategoryNestsBelowTheSelectionAndShowsUp) {
  Run([&] { form.FormShow(); });
  h.dialogs.QueueAnswer("Grammar ");  // used as typed, trailing blank included
  Run([&] { form.bsSkinButton3Click(); });
  EXPECT_TRUE(std::filesystem::is_directory(h.app.Path() / "resources/Grammar "));
  EXPECT_TRUE(tree.Shows(Lib("Grammar ")));
  EXPECT_EQ(tree.refreshed, std::vector<std::string>{Lib()});

  ASSERT_TRUE(tree.Click(Lib("songs")));
  h.dialogs.QueueAnswer("英文歌");
  Run([&] { form.bsSkinButton3Click(); });
  EXPECT_TRUE(std::filesystem::is_directory(h.app.Path() / "resources/songs/英文歌"));
  EXPECT_TRUE(tree.Shows(Lib("songs/英文歌")));
  // The list is left as it was.
  EXPECT_EQ(list.Root(), Lib("songs"));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ResourceManagerTest, NewCategoryThatExistsFailsAndLeavesTheFolderAlone) {
  Run([&] { form.FormShow(); });
  h.dialogs.QueueAnswer("songs");
  Run([&] { form.bsSkinButton3Click(); });
  const auto dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1]["type"], "plain");
  EXPECT_EQ(dialogs[1]["text"], "新建类别失败，请重试");
  EXPECT_EQ(dialogs[1]["caption"], "Course");
  EXPECT_EQ(h.app.ReadFile("resources/songs/a.mp3"), "song a");
  // Refreshed all the same.
  EXPECT_EQ(tree.refreshed, std::vector<std::string>{Lib()});
}

TEST_F(ResourceManagerTest, DeleteCategoryNeverTouchesTheLibraryFolder) {
  Run([&] { form.FormShow(); });
  ASSERT_EQ(tree.SelectedPath(), Lib());
  Run([&] { form.bsSkinButton5Click(); });
  EXPECT_TRUE(h.Entries("file_operation").empty());
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_TRUE(tree.Shows(Lib()));
  EXPECT_TRUE(tree.refreshed.empty());
}

TEST_F(ResourceManagerTest, DeleteCategorySendsTheFolderToTheRecycleBinSilently) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  ASSERT_EQ(list.Root(), Lib("songs"));
  Run([&] { form.bsSkinButton5Click(); });
  const auto operations = h.Entries("file_operation");
  ASSERT_EQ(operations.size(), 1u);
  EXPECT_EQ(operations[0]["operation"], 3);
  EXPECT_EQ(operations[0]["from"], Json::array({Lib("songs")}));
  EXPECT_EQ(operations[0]["to"], "");
  EXPECT_EQ(operations[0]["flags"], 0x0454);
  EXPECT_EQ(shell.operation_owners, std::vector<const void*>{&active_window});
  EXPECT_EQ(list.Root(), Lib());
  // The top node is refreshed and selected; the recording shell deleted nothing, so the
  // folder shows up again.
  EXPECT_EQ(tree.refreshed, std::vector<std::string>{Lib()});
  EXPECT_EQ(tree.SelectedPath(), Lib());
  EXPECT_TRUE(tree.Shows(Lib("songs")));
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ResourceManagerTest, DeletedCategoryStaysOutOfTheTreeOnceGone) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("pictures")));
  // The folder goes before the refresh, as the shell's recycling does.
  shell.file_operation_result = 0;
  std::filesystem::remove_all(h.app.Path() / "resources/pictures");
  Run([&] { form.bsSkinButton5Click(); });
  EXPECT_FALSE(tree.Shows(Lib("pictures")));
  EXPECT_TRUE(tree.Shows(Lib("songs")));
}

TEST_F(ResourceManagerTest, AddCopiesIntoTheSelectedCategoryWithoutOverwriting) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  h.app.WriteFile("incoming/a.mp3", "new a");
  h.app.WriteFile("incoming/c.mp3", "new c");
  h.app.WriteFile("incoming/d.mp3", "new d");
  browser.Choose({h.app.Dir() + "incoming/a.mp3", h.app.Dir() + "incoming/c.mp3",
                  h.app.Dir() + "incoming/d.mp3"});
  Run([&] { form.bsSkinButton6Click(); });
  ASSERT_EQ(browser.requests.size(), 1u);
  EXPECT_EQ(browser.requests[0].title, "Open file");
  EXPECT_TRUE(browser.requests[0].multi_selection);
  EXPECT_TRUE(browser.requests[0].check_file_exists);
  ASSERT_EQ(browser.requests[0].filters.size(), 1u);
  EXPECT_EQ(browser.requests[0].filters[0].mask, "*.*");
  EXPECT_EQ(h.app.ReadFile("resources/songs/a.mp3"), "song a");
  EXPECT_EQ(h.app.ReadFile("resources/songs/c.mp3"), "new c");
  EXPECT_EQ(h.app.ReadFile("resources/songs/d.mp3"), "new d");
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
  // The chosen files stay where they were.
  EXPECT_TRUE(h.app.Exists("incoming/a.mp3"));
}

TEST_F(ResourceManagerTest, AddAfterAKeyboardMoveCopiesIntoTheNewSelection) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  ASSERT_TRUE(tree.SelectWithKeyboard(Lib("pictures")));
  h.app.WriteFile("incoming/q.png", "q");
  browser.Choose({h.app.Dir() + "incoming/q.png"});
  const int refreshes = list.refresh_count;
  Run([&] { form.bsSkinButton6Click(); });
  EXPECT_EQ(h.app.ReadFile("resources/pictures/q.png"), "q");
  EXPECT_FALSE(h.app.Exists("resources/songs/q.png"));
  EXPECT_EQ(list.Root(), Lib("songs"));
  EXPECT_EQ(list.refresh_count, refreshes + 1);
}

TEST_F(ResourceManagerTest, AddCancelledOnlyRefreshesTheList) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  h.app.WriteFile("resources/songs/e.mp3", "arrived meanwhile");
  Run([&] { form.bsSkinButton6Click(); });
  EXPECT_EQ(list.refresh_count, 1);
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.mp3", "b.mp3", "e.mp3"}));
}

TEST_F(ResourceManagerTest, DeleteRemovesTheSelectedFileForGood) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  // Nothing selected: only a refresh.
  Run([&] { form.bsSkinButton4Click(); });
  EXPECT_EQ(list.refresh_count, 1);
  EXPECT_TRUE(h.app.Exists("resources/songs/a.mp3"));

  ASSERT_TRUE(list.Select("a.mp3"));
  Run([&] { form.bsSkinButton4Click(); });
  EXPECT_FALSE(h.app.Exists("resources/songs/a.mp3"));
  EXPECT_EQ(list.Names(), std::vector<std::string>{"b.mp3"});
  EXPECT_TRUE(h.Entries("file_operation").empty());  // not to the recycle bin
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(ResourceManagerTest, FailedDeleteIsSilentAndTheFileShowsAgain) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(tree.Click(Lib("songs")));
  ASSERT_TRUE(list.Select("b.mp3"));
  h.files.write_error = 5;
  Run([&] { form.bsSkinButton4Click(); });
  EXPECT_TRUE(h.app.Exists("resources/songs/b.mp3"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.mp3", "b.mp3"}));
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(ResourceManagerTest, OpenGoesThroughTheLauncherWithTheDialogAsOwner) {
  Run([&] { form.FormShow(); });
  // Nothing selected: nothing opens.
  Run([&] { form.bsSkinButton1Click(); });
  Run([&] { form.bsSkinButton8Click(); });
  EXPECT_TRUE(h.Entries("shell").empty());

  ASSERT_TRUE(list.Select("top.txt"));
  Run([&] { form.bsSkinButton1Click(); });
  list.DblClick();
  ASSERT_TRUE(course_list.Select("intro.swf"));
  Run([&] { form.bsSkinButton8Click(); });
  course_list.DblClick();
  const auto launches = h.Entries("shell");
  ASSERT_EQ(launches.size(), 4u);
  EXPECT_EQ(launches[0]["file"], Lib("top.txt"));
  EXPECT_EQ(launches[0]["params"], "");
  EXPECT_EQ(launches[1], launches[0]);
  EXPECT_EQ(launches[2]["file"], h.app.Dir() + "FlashPlayer.exe");
  EXPECT_EQ(launches[2]["params"], Course("lesson1") + "/intro.swf");
  EXPECT_EQ(launches[3], launches[2]);
  EXPECT_EQ(shell.owners, std::vector<const void*>(4, &window));
}

TEST_F(ResourceManagerTest, OnlyCategoriesAndLibraryFilesCanBeRenamed) {
  Run([&] { form.FormShow(); });
  EXPECT_FALSE(tree.StartEdit());  // the library folder itself
  ASSERT_TRUE(tree.Click(Lib("songs")));
  EXPECT_TRUE(tree.StartEdit());
  EXPECT_TRUE(list.StartEdit());
  EXPECT_FALSE(course_tree.StartEdit());
  EXPECT_FALSE(course_list.StartEdit());
}

TEST_F(ResourceManagerTest, AFormWithoutAWindowIsOnlyData) {
  TForm3 bare;
  bare.CourseResourceRoot = "x";
  EXPECT_FALSE(bare.Attached());
  EXPECT_EQ(bare.Describe().size(), 1u);
  EXPECT_THROW(bare.FormShow(), Exception);
  EXPECT_TRUE(form.Attached());
}

}  // namespace
}  // namespace qm::testing
