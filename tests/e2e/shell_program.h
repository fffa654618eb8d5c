// The desktop program as the end-to-end tests drive it: a test course folder holding the
// real "quillmere" (QM_PROGRAM) and the command movie commands.swf, the program started
// in it with QM_DIALOG_LOG=1, and its windows read with xdotool and xwininfo. See
// tests/e2e/shell_e2e_test.cpp.
#pragma once

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

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm::testing::shell {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;

inline void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

inline bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    Sleep(50);
  }
  return true;
}

inline std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

inline std::string ReadFile(const fs::path& path) {
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

inline std::optional<WindowInfo> Describe(const std::string& id) {
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
inline std::vector<WindowInfo> VisibleWindows(pid_t pid) {
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

// The program, started in a course folder, or by a command line of its own (`command`,
// its output in `log`). It runs with QM_DIALOG_LOG=1.
class Program {
 public:
  explicit Program(const Course& course,
                   const std::vector<std::pair<std::string, std::string>>& environment = {},
                   const std::vector<std::string>& arguments = {})
      : Program(CommandIn(course, arguments), course.Dir() / "stderr.log", environment) {}
  Program(const std::vector<std::string>& command, const fs::path& log,
          const std::vector<std::pair<std::string, std::string>>& environment)
      : log_(log) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      setenv("QM_DIALOG_LOG", "1", 1);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      FILE* file = std::fopen(log_.c_str(), "w");
      if (file != nullptr) {
        dup2(fileno(file), 1);
        dup2(fileno(file), 2);
      }
      execvp(argv[0], argv.data());
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
  std::size_t ClosedCount() const {
    std::size_t n = 0;
    for (const Json& d : Dialogs()) n += d["dialog"] == "closed";
    return n;
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
    auto closed = [&] { return ClosedCount() > closed_before; };
    for (int attempt = 0; attempt < 60 && !closed(); ++attempt) {
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
  // The same for the next dialog that closes.
  bool AnswerDialog() { return AnswerDialog(ClosedCount()); }
  bool DialogSeenOnScreen() const { return dialog_seen_; }

 private:
  static std::vector<std::string> CommandIn(const Course& course,
                                            const std::vector<std::string>& arguments) {
    std::vector<std::string> command{(course.Dir() / "quillmere").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
  }

  fs::path log_;
  pid_t pid_ = -1;
  std::optional<int> exit_status_;
  bool dialog_seen_ = false;
};

}  // namespace qm::testing::shell
