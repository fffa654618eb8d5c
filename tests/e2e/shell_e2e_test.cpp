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

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

const char kTooOld[] =
    "您目前使用的flashplayer版本不能支持本程序的正常运行，请运行文件：Adobe Flash "
    "Player11.4.exe进行升级。";
const char kUnreadable[] =
    "您未安装或安装flashplayer有问题，请运行文件：Adobe Flash Player11.4.exe进行重新安装。";
const char kNoFlash[] = "您未安装flashplayer，请运行文件：Adobe Flash Player11.4.exe进行安装。";
constexpr int kScreenWidth = 1280, kScreenHeight = 1024;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    Sleep(50);
  }
  return true;
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A window as X reports it.
struct WindowInfo {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0, border = -1;
};

std::optional<WindowInfo> Describe(const std::string& id) {
  const std::string info = Output("timeout 5 xwininfo -id " + id);
  if (info.find("IsViewable") == std::string::npos) return std::nullopt;
  auto field = [&](const std::string& name) {
    const auto at = info.find(name);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + name.size());
  };
  WindowInfo w;
  w.id = id;
  w.x = field("Absolute upper-left X:");
  w.y = field("Absolute upper-left Y:");
  w.width = field("Width:");
  w.height = field("Height:");
  w.border = field("Border width:");
  return w;
}

// The program's windows on screen.
std::vector<WindowInfo> VisibleWindows(pid_t pid) {
  std::vector<WindowInfo> out;
  std::istringstream ids(
      Output("timeout 5 xdotool search --onlyvisible --pid " + std::to_string(pid)));
  for (std::string id; ids >> id;) {
    if (auto w = Describe(id)) out.push_back(*w);
  }
  return out;
}

// A test course folder: the program, main.swf = commands.swf, and a version movie.
class Course {
 public:
  Course(const std::string& name, const std::optional<std::string>& version_movie) {
    dir_ = fs::temp_directory_path() / ("qm-shell-e2e-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A link of its own, so that the program's folder is this course.
    std::error_code error;
    fs::create_hard_link(QM_PROGRAM, dir_ / "quillmere", error);
    if (error) fs::copy_file(QM_PROGRAM, dir_ / "quillmere");
    fs::copy_file(fs::path(QM_SHELL_MOVIES_DIR) / "commands.swf", dir_ / "main.swf");
    if (version_movie) {
      const fs::path movie = version_movie->find('/') != std::string::npos
                                 ? fs::path(*version_movie)
                                 : fs::path(QM_SHELL_MOVIES_DIR) / (*version_movie + ".swf");
      fs::copy_file(movie, dir_ / "version.swf");
    }
  }
  ~Course() {
    if (::testing::Test::HasFailure()) {
      std::printf("course folder kept: %s\n", dir_.c_str());
    } else {
      fs::remove_all(dir_);
    }
  }
  const fs::path& Dir() const { return dir_; }

  // The movie carries out `command` (as an fscommand) when it reads it.
  void Send(const std::string& command) const {
    std::ofstream(dir_ / "cmd.tmp") << command << "\n";
    fs::rename(dir_ / "cmd.tmp", dir_ / "cmd.txt");
  }
  std::string Ack() const {
    std::string ack = ReadFile(dir_ / "ack.txt");
    while (!ack.empty() && (ack.back() == '\n' || ack.back() == '\r')) ack.pop_back();
    return ack;
  }
  bool SendAndWait(const std::string& command, int timeout_ms = 60000) const {
    Send(command);
    return WaitFor([&] { return Ack() == command; }, timeout_ms);
  }

 private:
  fs::path dir_;
};

// The program, started in a course folder.
class Program {
 public:
  explicit Program(const Course& course,
                   const std::vector<std::pair<std::string, std::string>>& environment = {})
      : log_(course.Dir() / "stderr.log") {
    pid_ = fork();
    if (pid_ == 0) {
      setenv("QM_DIALOG_LOG", "1", 1);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      FILE* log = std::fopen(log_.c_str(), "w");
      if (log != nullptr) {
        dup2(fileno(log), 1);
        dup2(fileno(log), 2);
      }
      const std::string exe = (course.Dir() / "quillmere").string();
      execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Program() {
    if (!exit_status_ && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Pid() const { return pid_; }

  bool Running() {
    if (exit_status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exit_status_ = status;
      return false;
    }
    return true;
  }
  // The exit status once the process has ended within `timeout_ms`.
  std::optional<int> WaitExit(int timeout_ms) {
    WaitFor([&] { return !Running(); }, timeout_ms);
    if (exit_status_ && WIFEXITED(*exit_status_)) return WEXITSTATUS(*exit_status_);
    if (exit_status_) return 1000 + WTERMSIG(*exit_status_);  // killed by a signal
    return std::nullopt;
  }

  // The dialog lines the program wrote: {"dialog": "open"/"closed", "type", "caption", "text"}.
  std::vector<Json> Dialogs() const {
    std::vector<Json> out;
    std::istringstream in(ReadFile(log_));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("{\"dialog\"", 0) != 0) continue;
      Json entry = Json::parse(line, nullptr, false);
      if (!entry.is_discarded()) out.push_back(entry);
    }
    return out;
  }
  std::vector<Json> Opened() const {
    std::vector<Json> out;
    for (const Json& d : Dialogs()) {
      if (d["dialog"] == "open") out.push_back(d);
    }
    return out;
  }
  std::string Log() const { return ReadFile(log_); }

  // The main window, once it is on screen (the program's largest visible window).
  std::optional<WindowInfo> MainWindow() {
    std::optional<WindowInfo> main;
    for (const WindowInfo& w : VisibleWindows(pid_)) {
      if (!main || w.width * w.height > main->width * main->height) main = w;
    }
    return main;
  }

  // Presses Return in the dialog that is open (a window of the program other than the
  // main window, which may not exist) until the dialog reports it has closed.
  bool AnswerDialog(std::size_t closed_before) {
    auto closed = [&] {
      std::size_t n = 0;
      for (const Json& d : Dialogs()) n += d["dialog"] == "closed";
      return n > closed_before;
    };
    for (int attempt = 0; attempt < 20 && !closed(); ++attempt) {
      const auto main = MainWindow();
      for (const WindowInfo& w : VisibleWindows(pid_)) {
        if (main && w.id == main->id && w.width >= 1024) continue;
        dialog_seen_ = true;
        Output("timeout 5 xdotool windowfocus --sync " + w.id + " key Return");
      }
      WaitFor(closed, 500);
    }
    return closed();
  }
  bool DialogSeenOnScreen() const { return dialog_seen_; }

 private:
  fs::path log_;
  pid_t pid_ = -1;
  std::optional<int> exit_status_;
  bool dialog_seen_ = false;
};

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
