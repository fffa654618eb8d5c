// The standalone player "FlashPlayer.exe" as the shell starts it, under a virtual X
// server: it opens a window titled with the movie's file name at the movie's size and
// ends cleanly when the window is closed; a missing movie is told, not played.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "demo/x_session.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

const std::string kPlayer = QM_COURSE_DIR "/FlashPlayer.exe";
const fs::path kLessonMovie = QM_COURSE_DIR "/lesson1/intro.swf";

class StandalonePlayer : public ::testing::Test {
 protected:
  // One connection for every test: the X server resets when its last client leaves.
  static void SetUpTestSuite() { display_ = new XDisplay(); }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (display_->get() == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
    char name[] = "/tmp/qm-player-XXXXXX";
    folder_ = fs::path(::mkdtemp(name)) / "my course";
    fs::create_directories(folder_);
  }
  void TearDown() override {
    Kill(player_);
    if (!folder_.empty()) fs::remove_all(folder_.parent_path());
  }

  static inline XDisplay* display_ = nullptr;
  fs::path folder_;
  Process player_;
};

TEST_F(StandalonePlayer, PlaysTheMovieInAWindowOfItsOwnAndEndsWhenClosed) {
  // The launcher's parameter: one argument, a path with blanks, not quoted.
  const fs::path movie = folder_ / "Lesson 1.swf";
  fs::copy_file(kLessonMovie, movie);
  player_ = Start(kPlayer, {movie.string()}, folder_ / "errors.txt");

  const auto window = display_->WaitForTitled("Lesson 1.swf", 60);
  ASSERT_TRUE(window) << "no window titled with the movie's name; stderr:\n" << player_.Errors();
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display_->get(), *window, &attributes));
  EXPECT_EQ(attributes.width, 640);  // the movie's stage
  EXPECT_EQ(attributes.height, 400);
  // The movie plays: its sky (the stage colour) fills the window's top left.
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto pixel = display_->Pixel(*window, 4, 60);
        return pixel && *pixel == 0xBFE3F7;
      },
      60))
      << "the movie was not drawn; stderr:\n"
      << player_.Errors();
  EXPECT_FALSE(WaitExit(player_.pid, 0)) << "the player ended by itself";

  display_->Close(*window);
  const auto status = WaitExit(player_.pid, 30);
  ASSERT_TRUE(status) << "the player did not end after its window was closed";
  EXPECT_TRUE(WIFEXITED(*status)) << "stderr:\n" << player_.Errors();
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

// A missing movie, one cut short and a file that is no movie: told, named, not played.
TEST_F(StandalonePlayer, AMovieThatCannotBePlayedIsToldAndNotPlayed) {
  std::ifstream in(kLessonMovie, std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), {});
  const fs::path cut = folder_ / "Lesson 8.swf", text = folder_ / "Lesson 7.swf";
  std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 2);
  std::ofstream(text, std::ios::binary) << "a text file\n";
  const std::pair<fs::path, std::string> cases[] = {
      {folder_ / "Lesson 9.swf", "could not be found:\n"},
      {cut, "cannot be played:\n"},
      {text, "cannot be played:\n"},
  };
  for (const auto& [movie, told] : cases) {
    SCOPED_TRACE(movie.filename().string());
    player_ = Start(kPlayer, {movie.string()}, folder_ / "errors.txt");
    const auto box = display_->WaitForTitled("FlashPlayer", 30);
    ASSERT_TRUE(box) << "no message shown; stderr:\n" << player_.Errors();
    EXPECT_NE(player_.Errors().find(told + movie.string()), std::string::npos) << player_.Errors();
    EXPECT_FALSE(display_->FindTitled(movie.filename().string()));

    display_->Close(*box);
    const auto status = WaitExit(player_.pid, 15);
    ASSERT_TRUE(status);
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    player_.pid = -1;
  }
}

}  // namespace
}  // namespace qm::testing
