// The demo course end to end: the real shell "quillmere" plays main.swf on a virtual X
// server, and a user clicks the movie's buttons. The note is saved below the program
// folder, the title strip drags the window, the lesson movie opens in FlashPlayer.exe,
// and the close button ends the program with the exit code of "exitprogram".
//
// The same walk through the course runs against the installed program when the test
// command sets QM_INSTALLED_PROGRAM (its path): on a course folder that holds no file
// of Quillmere's, started from the course's own Windows program.
//
// The points clicked follow the layout drawn by demo/movies/Main.hx (unscaled, from the
// window's top left corner).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "demo/x_session.h"
#include "posix/learner_layer.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1024, kHeight = 652;
// The title strip's colour in either theme of the movie.
constexpr unsigned long kStripColours[] = {0x1F4E79, 0x2E6B3A};

struct Point {
  int x, y;
};
constexpr Point kSaveNote{856, 116};     // "My note" card, "Save"
constexpr Point kLessonMovie{922, 494};  // "Open" card, "Lesson movie"
constexpr Point kExit{994, 24};          // the title strip's close button
constexpr Point kStrip{800, 30};         // the title strip between its text and buttons
constexpr Point kRecord{174, 473};       // "Speak & compare" card, "Record"
constexpr Point kStopAndCompare{312, 473};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DemoCourse : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { display_ = new XDisplay(); }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (display_->get() == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
    // A copy of the course: the movie writes below its program folder.
    char name[] = "/tmp/qm-course-XXXXXX";
    root_ = ::mkdtemp(name);
    course_ = root_ / "course";
    fs::copy(QM_COURSE_DIR, course_, fs::copy_options::recursive);
    fs::remove_all(course_ / "notes");
  }
  void TearDown() override {
    Kill(shell_);
    // A lesson movie left open by a failed check.
    if (display_ != nullptr && display_->get() != nullptr) {
      if (auto w = display_->FindTitled("intro.swf")) display_->Close(*w);
    }
    if (!root_.empty()) fs::remove_all(root_);
  }

  static inline XDisplay* display_ = nullptr;
  fs::path root_, course_;
  Process shell_;

  // Starts `program` with `arguments` and clicks through the course; the main window
  // carries `title`. What the course saves lands in `saved` (by default the course folder).
  void ClickThroughTheCourse(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& title, bool record = false,
                             const fs::path& saved = {});
};

void DemoCourse::ClickThroughTheCourse(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::string& title, bool record,
                                       const fs::path& saved) {
  const fs::path learner = saved.empty() ? course_ : saved;
  shell_ = Start(program, arguments, root_ / "errors.txt");

  const auto window = display_->WaitFor(
      [&] {
        return display_->Find([](Window, const XWindowAttributes& a) {
          return a.width == kWidth && a.height == kHeight;
        });
      },
      60);
  ASSERT_TRUE(window) << "no main window; stderr:\n" << shell_.Errors();
  EXPECT_EQ(display_->Title(*window), title);
  // The movie has drawn its title strip: it runs and its buttons are in place.
  const bool drawn = WaitUntil(
      [&] {
        const auto pixel = display_->Pixel(*window, 300, 4);
        return pixel && (*pixel == kStripColours[0] || *pixel == kStripColours[1]);
      },
      90);
  ASSERT_TRUE(drawn) << "the movie was not drawn; stderr:\n" << shell_.Errors();

  // "Save": ExternalInterface savefile writes the note, UTF-8 and CR LF.
  const fs::path note = learner / "notes" / "my_note.txt";
  ASSERT_TRUE(display_->Click(*window, kSaveNote.x, kSaveNote.y));
  // A message of the shell (its Flash runtime check, say) would be modal and take the click.
  ASSERT_TRUE(WaitUntil([&] { return fs::is_regular_file(note); }, 30))
      << "no note saved; windows: " << display_->Titles() << "\nstderr:\n"
      << shell_.Errors();
  EXPECT_EQ(ReadAll(note), "Hello means ni hao.\r\n");

  // "Record", then "Stop & compare": the learner's voice is saved as Temp.wav in the
  // course folder (a sound server is needed: scripts/test.sh starts one).
  if (record) {
    const fs::path recording = learner / "Temp.wav";
    ASSERT_TRUE(display_->Click(*window, kRecord.x, kRecord.y));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(display_->Click(*window, kStopAndCompare.x, kStopAndCompare.y));
    ASSERT_TRUE(WaitUntil([&] { return fs::is_regular_file(recording); }, 30))
        << "no recording; windows: " << display_->Titles() << "\nstderr:\n"
        << shell_.Errors();
    EXPECT_EQ(ReadAll(recording).substr(0, 4), "RIFF");
  }

  // Pressing on the title strip and moving drags the borderless window with the
  // pointer until the button is released.
  const auto [x0, y0] = display_->Origin(*window);
  ASSERT_TRUE(display_->Drag(*window, kStrip.x, kStrip.y, -120, -60));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto [x, y] = display_->Origin(*window);
        return x == x0 - 120 && y == y0 - 60;
      },
      10))
      << "from " << x0 << "," << y0 << " to " << display_->Origin(*window).first << ","
      << display_->Origin(*window).second;

  // "Lesson movie": exec of a .swf starts FlashPlayer.exe beside the program.
  ASSERT_TRUE(display_->Click(*window, kLessonMovie.x, kLessonMovie.y));
  const auto lesson = display_->WaitForTitled("intro.swf", 60);
  ASSERT_TRUE(lesson) << "the lesson movie did not open; windows: " << display_->Titles();
  display_->Close(*lesson);
  EXPECT_TRUE(WaitUntil([&] { return !display_->FindTitled("intro.swf"); }, 30));

  // The close button: "exitprogram" ends the process at once with exit code 259.
  ASSERT_TRUE(display_->Click(*window, kExit.x, kExit.y));
  const auto status = WaitExit(shell_.pid, 30);
  ASSERT_TRUE(status) << "the shell did not end; windows: " << display_->Titles();
  ASSERT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 259 & 0xFF);
  shell_.pid = -1;
}

TEST_F(DemoCourse, ButtonsReachTheShell) {
  ClickThroughTheCourse((course_ / "quillmere").string(), {}, "quillmere");
}

// A program whose folder holds no course asks for one: a folder without main.swf is
// refused and the chooser asks again; the chosen course plays; cancelling ends at once.
TEST_F(DemoCourse, WithoutACourseTheProgramAsksForTheFolder) {
  const fs::path program_folder = root_ / "program";
  fs::create_directories(program_folder);
  fs::copy_file(course_ / "quillmere", program_folder / "quillmere");
  ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);  // the last course played
  constexpr char kChooser[] = "Quillmere: choose the course folder";

  shell_ = Start((program_folder / "quillmere").string(), {}, root_ / "errors.txt");
  auto chooser = display_->WaitForTitled(kChooser, 60);
  ASSERT_TRUE(chooser) << "no folder chooser; windows: " << display_->Titles();
  ASSERT_TRUE(display_->Type(*chooser, (course_ / "lesson1").string(), "Return"));
  const auto refused = display_->WaitForTitled("Quillmere", 30);
  ASSERT_TRUE(refused) << "no message for a folder without main.swf: " << display_->Titles();
  ASSERT_TRUE(display_->Type(*refused, "", "Return"));
  chooser = display_->WaitForTitled(kChooser, 30);
  ASSERT_TRUE(chooser) << "the chooser did not come back; windows: " << display_->Titles();
  ASSERT_TRUE(display_->Type(*chooser, course_.string(), "Return"));
  EXPECT_TRUE(display_->WaitForTitled("course", 60)) << display_->Titles();
  Kill(shell_);

  shell_ = Start((program_folder / "quillmere").string(), {}, root_ / "errors.txt");
  chooser = display_->WaitForTitled(kChooser, 60);
  ASSERT_TRUE(chooser) << "no folder chooser; windows: " << display_->Titles();
  ASSERT_TRUE(display_->Type(*chooser, "", "Escape"));
  const auto status = WaitExit(shell_.pid, 30);
  ASSERT_TRUE(status && WIFEXITED(*status)) << "the program did not end";
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  shell_.pid = -1;
  ::unsetenv("XDG_CONFIG_HOME");
}

// A course as it comes from its CD: the course's own Windows program and a Windows
// FlashPlayer.exe, no Quillmere file; the installed program plays it from anywhere.
TEST_F(DemoCourse, TheInstalledProgramPlaysACourseFolder) {
  const char* installed = std::getenv("QM_INSTALLED_PROGRAM");
  if (installed == nullptr) GTEST_SKIP() << "QM_INSTALLED_PROGRAM names no installed program";
  fs::remove(course_ / "quillmere");
  for (const char* windows_program : {"FlashPlayer.exe", "COURSE.EXE"}) {
    std::ofstream(course_ / windows_program, std::ios::binary) << "MZ\x90" << std::string(61, '\0');
  }
  ClickThroughTheCourse(installed, {(course_ / "COURSE.EXE").string()}, "Course",
                        /*record=*/true);
}

// The installed demo course, played in place: each learner's note and recording go to
// their own layer, and stay there for the next run; the installed course is unchanged.
TEST_F(DemoCourse, TheInstalledProgramPlaysTheDemoOverTheLearnersLayer) {
  const char* installed = std::getenv("QM_INSTALLED_PROGRAM");
  if (installed == nullptr) GTEST_SKIP() << "QM_INSTALLED_PROGRAM names no installed program";
  const fs::path demo = fs::path(installed).parent_path().parent_path() / "share/quillmere/demo";
  ASSERT_TRUE(fs::is_directory(demo)) << demo;
  const auto listing = [&demo] {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(demo)) names.push_back(e.path());
    return names;
  };
  const auto before = listing();
  ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  const fs::path layer = LearnerLayerFolder(demo.string(), (root_ / "data").string());
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "first run" : "second run");
    ClickThroughTheCourse(installed, {"--demo"}, "demo", /*record=*/run == 0, layer);
    EXPECT_TRUE(fs::is_regular_file(layer / "Temp.wav"));  // the first run's recording
  }
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(listing(), before);
}

}  // namespace
}  // namespace qm::testing
