// The desktop program end to end: the real "quillmere" started as a process in a test
// course folder, under a virtual X server. The course movie is commands.swf, which
// carries out what the test writes into "cmd.txt" (see tools/shell_test_movies.cpp);
// the version movies report fixed runtime versions. The program runs with
// QM_DIALOG_LOG=1, which writes every dialog it shows to standard error as well; the
// test reads windows with xdotool, xwininfo and xprop and answers dialogs with real key
// presses.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/shell_program.h"

namespace {

using namespace qm::testing::shell;

const char kTooOld[] =
    "您目前使用的flashplayer版本不能支持本程序的正常运行，请运行文件：Adobe Flash "
    "Player11.4.exe进行升级。";
const char kUnreadable[] =
    "您未安装或安装flashplayer有问题，请运行文件：Adobe Flash Player11.4.exe进行重新安装。";
const char kNoFlash[] = "您未安装flashplayer，请运行文件：Adobe Flash Player11.4.exe进行安装。";
// Waits for the one dialog of a failed runtime check, answers it, and expects the end.
void ExpectRuntimeMessageThenEnd(Program& program, const std::string& text,
                                 const std::string& type = "message") {
  ASSERT_TRUE(WaitFor([&] { return !program.Opened().empty() || !program.Running(); }, 60000))
      << "no message within a minute";
  ASSERT_TRUE(program.Running()) << program.Log();
  Sleep(500);  // the process does not end while the message is open
  ASSERT_TRUE(program.Running());
  const std::vector<Json> opened = program.Opened();
  ASSERT_EQ(opened.size(), 1u) << program.Log();
  EXPECT_EQ(opened[0]["type"], type);
  EXPECT_EQ(opened[0]["text"], text);
  ASSERT_TRUE(program.AnswerDialog(0)) << "the message could not be closed";
  EXPECT_TRUE(program.DialogSeenOnScreen());
  EXPECT_EQ(program.WaitExit(30000), std::optional<int>(0)) << program.Log();
}

TEST(ShellProgram, RuntimeVersion9EndsWithTheUpgradeMessage) {
  Course course("v9", "version_9_0");
  Program program(course);
  ExpectRuntimeMessageThenEnd(program, kTooOld);
}

TEST(ShellProgram, RuntimeVersion10_1EndsWithTheUpgradeMessage) {
  Course course("v10_1", "version_10_1");
  Program program(course);
  ExpectRuntimeMessageThenEnd(program, kTooOld);
}

TEST(ShellProgram, AVersionMovieThatSetsNothingEndsWithTheReinstallMessage) {
  Course course("vnone", "version_none");
  Program program(course);
  ExpectRuntimeMessageThenEnd(program, kUnreadable);
}

TEST(ShellProgram, AMissingVersionMovieEndsWithTheReinstallMessage) {
  Course course("vmissing", std::nullopt);
  Program program(course);
  ExpectRuntimeMessageThenEnd(program, kUnreadable);
}

TEST(ShellProgram, WithoutTheWebEnginesProcessTheNoFlashMessageEndsTheProgram) {
  Course course("noflash", "version_11_0");
  Program program(course, {{"QTWEBENGINEPROCESS_PATH", "/nonexistent/QtWebEngineProcess"}});
  ExpectRuntimeMessageThenEnd(program, kNoFlash, "plain");
}

// A passed check: no message, and the movie keeps being served. Returns the main window.
std::optional<WindowInfo> ExpectRunningWithoutMessage(Program& program, const Course& course) {
  EXPECT_TRUE(course.SendAndWait("first")) << program.Log();
  Sleep(3000);  // well past the check's first tick and the version movie's first frame
  EXPECT_TRUE(course.SendAndWait("second")) << program.Log();
  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(program.Opened().empty()) << program.Log();
  return program.MainWindow();
}

TEST(ShellProgram, RuntimeVersion10_2RunsOn) {
  Course course("v10_2", "version_10_2");
  Program program(course);
  ExpectRunningWithoutMessage(program, course);
}

TEST(ShellProgram, RuntimeVersion11OpensABorderlessCentredWindow) {
  Course course("v11", "version_11_0");
  Program program(course);
  const auto window = ExpectRunningWithoutMessage(program, course);
  ASSERT_TRUE(window);
  EXPECT_EQ(window->width, 1024);
  EXPECT_EQ(window->height, 652);
  EXPECT_EQ(window->x, (kScreenWidth - 1024) / 2);
  EXPECT_EQ(window->y, (kScreenHeight - 652) / 2);
  EXPECT_EQ(window->border, 0);
  // No frame: the window asks the window manager for no decorations (Motif hints:
  // flags, functions, decorations, ...; the decorations flag set and no decoration).
  const std::string hints = Output("xprop -id " + window->id + " _MOTIF_WM_HINTS");
  unsigned flags = 0, functions = 0, decorations = 1;
  const auto equals = hints.find('=');
  ASSERT_NE(equals, std::string::npos) << hints;
  ASSERT_EQ(
      std::sscanf(hints.c_str() + equals + 1, " %x, %x, %x", &flags, &functions, &decorations), 3)
      << hints;
  EXPECT_TRUE(flags & 0x2) << hints;
  EXPECT_EQ(decorations, 0u) << hints;
  EXPECT_NE(Output("xprop -id " + window->id + " WM_NAME").find("\"quillmere\""),
            std::string::npos);

  fs::create_directories(QM_ARTEFACTS_DIR);
  const std::string shot = std::string(QM_ARTEFACTS_DIR) + "/shell_window.png";
  const std::string command = std::string(QM_SCREENSHOT_TOOL) + " '" + shot + "' " +
                              std::to_string(window->x) + " " + std::to_string(window->y) + " " +
                              std::to_string(window->width) + " " + std::to_string(window->height);
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(fs::exists(shot));
}

TEST(ShellProgram, OurVersionMoviePassesOnRuffle) {
  // The version.swf the build ships reads the running player's own version.
  Course course("shipped", QM_MOVIES_DIR "/version.swf");
  Program program(course);
  ExpectRunningWithoutMessage(program, course);
}

// The demo course as the run command opens it, once the course folder is assembled.
TEST(ShellProgram, DemoCourseScreenshot) {
  const fs::path course = QM_COURSE_DIR;
  if (!fs::exists(course / "main.swf") || !fs::exists(course / "version.swf")) {
    GTEST_SKIP() << "the demo course is not assembled in " << course;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string exe = (course / "quillmere").string();
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::optional<WindowInfo> window;
  EXPECT_TRUE(WaitFor(
      [&] {
        for (const WindowInfo& w : VisibleWindows(pid)) {
          if (w.width == 1024 && w.height == 652) window = w;
        }
        return window.has_value();
      },
      60000));
  if (window) {
    Sleep(6000);  // the course movie starts and draws
    fs::create_directories(QM_ARTEFACTS_DIR);
    const std::string shot = std::string(QM_ARTEFACTS_DIR) + "/demo_course.png";
    const std::string command = std::string(QM_SCREENSHOT_TOOL) + " '" + shot + "' " +
                                std::to_string(window->x) + " " + std::to_string(window->y) +
                                " 1024 652";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the demo course ended by itself";
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(ShellProgram, ExitProgramEndsTheProcessWithItsExitCode) {
  Course course("exit", "version_11_0");
  Program program(course);
  ASSERT_TRUE(course.SendAndWait("first")) << program.Log();
  course.Send("exitprogram");
  // 259 (the code of a running process) is the exit code; its low 8 bits show here.
  EXPECT_EQ(program.WaitExit(30000), std::optional<int>(259 & 0xFF)) << program.Log();
  EXPECT_TRUE(program.Opened().empty());
  EXPECT_NE(course.Ack(), "exitprogram") << "the program ran on after exitprogram";
}

TEST(ShellProgram, AnErrorLeavingAHandlerIsReportedAndTheProgramGoesOn) {
  Course course("error", "version_11_0");
  Program program(course);
  ASSERT_TRUE(course.SendAndWait("first")) << program.Log();
  // The movie saves to out/<command>.txt: a folder in that place makes the save fail
  // inside the movie's ExternalInterface call.
  fs::create_directories(course.Dir() / "out" / "fail.txt");
  course.Send("fail");
  ASSERT_TRUE(WaitFor([&] { return !program.Opened().empty(); }, 30000)) << program.Log();
  const std::vector<Json> opened = program.Opened();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0]["type"], "error_report");
  EXPECT_EQ(opened[0]["caption"], "quillmere");
  const std::string text = opened[0]["text"];
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '.') << text;
  EXPECT_NE(course.Ack(), "fail") << "the movie's call went on while the report was open";
  ASSERT_TRUE(program.AnswerDialog(0));
  // The movie's call returned without a reply and the movie went on.
  EXPECT_TRUE(WaitFor([&] { return course.Ack() == "fail"; }, 30000));
  EXPECT_TRUE(course.SendAndWait("after")) << program.Log();
  EXPECT_TRUE(program.Running());
}

// The window manager for the window-state test: openbox on the virtual display.
class WindowManager {
 public:
  WindowManager() {
    pid_ = fork();
    if (pid_ == 0) {
      execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      _exit(127);
    }
    Sleep(1000);
  }
  ~WindowManager() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Running() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_;
};

TEST(ShellProgram, MaximiseMinimiseAndRestoreUnderAWindowManager) {
  WindowManager wm;
  ASSERT_TRUE(wm.Running()) << "openbox is needed for this test (scripts/setup.sh installs it)";
  Course course("states", "version_11_0");
  Program program(course);
  ASSERT_TRUE(course.SendAndWait("first")) << program.Log();
  const auto before = program.MainWindow();
  ASSERT_TRUE(before);
  EXPECT_EQ(before->width, 1024);
  EXPECT_EQ(before->height, 652);
  // No frame here either: the window manager added no decorations.
  const std::string extents = Output("xprop -id " + before->id + " _NET_FRAME_EXTENTS");
  EXPECT_NE(extents.find("= 0, 0, 0, 0"), std::string::npos) << extents;

  ASSERT_TRUE(course.SendAndWait("maximized"));
  std::optional<WindowInfo> now;
  EXPECT_TRUE(WaitFor(
      [&] {
        now = program.MainWindow();
        return now && now->width == kScreenWidth && now->height == kScreenHeight;
      },
      10000))
      << "maximised to " << (now ? now->width : -1) << "x" << (now ? now->height : -1);

  // "normal": the window is back where it was, at its size.
  const auto restored = [&] {
    return WaitFor(
        [&] {
          now = program.MainWindow();
          return now && now->width == before->width && now->height == before->height &&
                 now->x == before->x && now->y == before->y;
        },
        10000);
  };
  ASSERT_TRUE(course.SendAndWait("normal"));
  EXPECT_TRUE(restored()) << "restored to " << (now ? now->x : -1) << "," << (now ? now->y : -1)
                          << " " << (now ? now->width : -1) << "x" << (now ? now->height : -1);

  // Minimised: the window leaves the screen as an icon of the window manager; the movie
  // runs on (it reads the next command), and "normal" brings the window back as it was.
  ASSERT_TRUE(course.SendAndWait("minimized"));
  EXPECT_TRUE(WaitFor([&] { return !program.MainWindow(); }, 10000)) << "still on screen";
  EXPECT_NE(Output("xprop -id " + before->id + " WM_STATE").find("Iconic"), std::string::npos);
  ASSERT_TRUE(course.SendAndWait("normal"));
  EXPECT_TRUE(restored()) << "back at " << (now ? now->x : -1) << "," << (now ? now->y : -1);
  EXPECT_TRUE(program.Opened().empty()) << program.Log();
}

}  // namespace
