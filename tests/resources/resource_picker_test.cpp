// The resource picker's handlers on linked views over a temporary program folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "resources/resource_forms.h"
#include "support/fake_shell_views.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using headless::Json;

struct MovieCall {
  std::string function, first, second;
  bool operator==(const MovieCall&) const = default;
};

class ResourcePickerTest : public ::testing::Test {
 protected:
  ResourcePickerTest() {
    h.app.WriteFile("resources/a/b.doc", "b");
    h.app.WriteFile("resources/top.mp3", "t");
    h.app.WriteFile("lesson3/resource/song.mp3", "s");
    h.app.WriteFile("lesson3/resource/more/x & <y>.txt", "x");
    h.app.WriteFile("lesson4/resource/other.doc", "o");
    course_list.LinkTo(course_tree);
    library_list.LinkTo(library_tree);
    form.CourseResourceRoot = Course("lesson3");
    form.PickCallbackName = "picked";
    form.Attach({course_tree, course_list, library_tree, library_list, h.form->Boundary(),
                 h.app.Dir(),
                 [this](const std::string& f, const std::string& a, const std::string& b) {
                   calls.push_back({f, a, b});
                   if (movie_fails) throw EFlashControlError("Error calling method on NPObject");
                   return std::string();
                 },
                 [this] { ++closed; }});
  }

  std::string Lib(const std::string& below = {}) const {
    return h.app.Dir() + "resources" + (below.empty() ? "" : "/" + below);
  }
  std::string Course(const std::string& lesson) const { return h.app.Dir() + lesson + "/resource"; }
  template <typename F>
  void Run(F handler) {
    h.form->Boundary().Run(handler);
  }

  ShellHarness h;
  FakeFolderTree course_tree, library_tree;
  FakeFileList course_list, library_list;
  std::vector<MovieCall> calls;
  bool movie_fails = false;
  int closed = 0;
  TForm6 form;
};

TEST_F(ResourcePickerTest, ShowingRootsBothPagesAndStartsOnTheLibrary) {
  EXPECT_EQ(form.ActivePageIndex, 1);
  Run([&] { form.FormShow(); });
  EXPECT_EQ(course_tree.Root(), Course("lesson3"));
  EXPECT_EQ(course_list.Root(), Course("lesson3"));
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"song.mp3"});
  EXPECT_EQ(library_tree.Root(), Lib());
  EXPECT_EQ(library_list.Names(), std::vector<std::string>{"top.mp3"});
  EXPECT_TRUE(h.Entries("error_report").empty());
}

TEST_F(ResourcePickerTest, ChooseSendsThePathRelativeToTheProgramFolderAndCloses) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(library_tree.SelectWithKeyboard(Lib("a")));  // the list follows the keyboard
  ASSERT_TRUE(library_list.Select("b.doc"));
  Run([&] { form.bsSkinButton1Click(); });
  EXPECT_EQ(calls, (std::vector<MovieCall>{{"picked", "selectedover", "/resources/a/b.doc"}}));
  EXPECT_EQ(closed, 1);
}

TEST_F(ResourcePickerTest, ChooseWithNothingSelectedSendsAnEmptyPath) {
  Run([&] { form.FormShow(); });
  Run([&] { form.bsSkinButton1Click(); });
  EXPECT_EQ(calls, (std::vector<MovieCall>{{"picked", "selectedover", ""}}));
  EXPECT_EQ(closed, 1);
}

TEST_F(ResourcePickerTest, DoubleClickInEitherListChoosesFromThePageShown) {
  Run([&] { form.FormShow(); });
  form.ActivePageIndex = 0;
  ASSERT_TRUE(course_list.Select("song.mp3"));
  course_list.DblClick();
  form.ActivePageIndex = 1;
  ASSERT_TRUE(library_list.Select("top.mp3"));
  library_list.DblClick();
  EXPECT_EQ(calls, (std::vector<MovieCall>{{"picked", "selectedover", "/lesson3/resource/song.mp3"},
                                           {"picked", "selectedover", "/resources/top.mp3"}}));
  EXPECT_EQ(closed, 2);
}

TEST_F(ResourcePickerTest, CancelTellsTheMovieNothing) {
  Run([&] { form.FormShow(); });
  ASSERT_TRUE(library_list.Select("top.mp3"));
  Run([&] { form.bsSkinButton2Click(); });
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(closed, 1);
}

TEST_F(ResourcePickerTest, AFailedCallIntoTheMovieIsReportedAndTheDialogStaysOpen) {
  Run([&] { form.FormShow(); });
  movie_fails = true;
  ASSERT_TRUE(library_list.Select("top.mp3"));
  library_list.DblClick();
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(h.Entries("error_report"), std::vector<Json>{"Error calling method on NPObject."});
}

TEST_F(ResourcePickerTest, SpecialCharactersReachTheMovieUnescaped) {
  // Through the main window's call into the movie, as the program wires it.
  TForm6 picker;
  picker.CourseResourceRoot = Course("lesson3");
  picker.PickCallbackName = "onPick";
  picker.ActivePageIndex = 0;
  picker.Attach({course_tree, course_list, library_tree, library_list, h.form->Boundary(),
                 h.app.Dir(),
                 [this](const std::string& f, const std::string& a, const std::string& b) {
                   return h.form->CallMovieFunction(f, a, b);
                 },
                 [] {}});
  Run([&] { picker.FormShow(); });
  ASSERT_TRUE(course_tree.SelectWithKeyboard(Course("lesson3") + "/more"));
  ASSERT_TRUE(course_list.Select("x & <y>.txt"));
  Run([&] { picker.bsSkinButton1Click(); });
  const auto movie_calls = h.Entries("movie_call");
  ASSERT_EQ(movie_calls.size(), 1u);
  const std::string call = movie_calls[0].dump();
  EXPECT_NE(call.find("/lesson3/resource/more/x & <y>.txt"), std::string::npos) << call;
  EXPECT_NE(call.find("onPick"), std::string::npos) << call;
}

TEST_F(ResourcePickerTest, ReopeningKeepsPageFolderAndSelection) {
  Run([&] { form.FormShow(); });
  form.ActivePageIndex = 0;
  ASSERT_TRUE(course_tree.SelectWithKeyboard(Course("lesson3") + "/more"));
  ASSERT_TRUE(course_list.Select("x & <y>.txt"));
  Run([&] { form.bsSkinButton2Click(); });
  Run([&] { form.FormShow(); });
  EXPECT_EQ(form.ActivePageIndex, 0);
  EXPECT_EQ(course_list.SelectedFilePath(), Course("lesson3") + "/more/x & <y>.txt");
  EXPECT_EQ(course_tree.set_root_count, 1);
  EXPECT_EQ(library_tree.set_root_count, 1);

  // Another course: only the course page moves.
  form.CourseResourceRoot = Course("lesson4");
  Run([&] { form.FormShow(); });
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"other.doc"});
  EXPECT_EQ(library_tree.set_root_count, 1);
}

TEST_F(ResourcePickerTest, FailedRootsAreRetriedAtTheNextShowing) {
  form.CourseResourceRoot = Course("lesson9");
  Run([&] { form.FormShow(); });
  EXPECT_EQ(h.Entries("error_report"),
            std::vector<Json>{"Error setting path: \"" + Course("lesson9") + "\""});
  // The showing stopped at the course page: the library page was not rooted.
  EXPECT_EQ(library_tree.Root(), kRootMyComputer);
  h.app.WriteFile("lesson9/resource/late.doc", "l");
  Run([&] { form.FormShow(); });
  EXPECT_EQ(course_list.Names(), std::vector<std::string>{"late.doc"});
  EXPECT_EQ(library_tree.Root(), Lib());
}

TEST_F(ResourcePickerTest, NothingCanBeRenamed) {
  Run([&] { form.FormShow(); });
  EXPECT_FALSE(course_tree.StartEdit());
  EXPECT_FALSE(course_list.StartEdit());
  EXPECT_FALSE(library_tree.StartEdit());
  EXPECT_FALSE(library_list.StartEdit());
}

TEST(ResourcePickerRelativePath, CountsCharactersOfTheCodePage) {
  text::SetAnsiCodePage("CP936");
  // AppDir "/课程/" is 4 characters (6 bytes): the path keeps the separator before
  // "resources".
  const std::string app_dir = text::A("/课程/");
  EXPECT_EQ(TForm6::RelativePath(text::A("/课程/resources/歌.mp3"), app_dir),
            text::A("/resources/歌.mp3"));
  // At most 999 characters, double-byte ones counting once.
  std::string long_name;
  for (int i = 0; i < 1200; ++i) long_name += text::A("歌");
  const std::string relative = TForm6::RelativePath(app_dir + long_name, app_dir);
  EXPECT_EQ(text::Ansi().CharCount(relative), 999u);
  EXPECT_EQ(relative.substr(0, 1), "/");
  // Not tested against AppDir; shorter than AppDir gives nothing.
  EXPECT_EQ(TForm6::RelativePath("/abcdefgh", app_dir), "cdefgh");
  EXPECT_EQ(TForm6::RelativePath("", app_dir), "");
  EXPECT_EQ(TForm6::RelativePath("/x", app_dir), "");
  text::SetAnsiCodePage("UTF-8");
}

}  // namespace
}  // namespace qm::testing
