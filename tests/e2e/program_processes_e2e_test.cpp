// The web engine's processes end with the program, end to end under a virtual X server:
// the real "quillmere COURSE" (QM_PROGRAM, beside the build's standalone player), ended
// by its course movie while a lesson movie it started plays on, or killed. The processes
// of the program are found by descent while it runs; once it has gone they must go too,
// the started player's own excepted.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/syscall.h>

#include <algorithm>
#include <map>
#include <set>

#include "e2e/shell_program.h"

namespace {

using namespace qm::testing::shell;

// "exitprogram" ends the program with 259, whose low 8 bits are its exit status.
constexpr int kExitProgramStatus = 259 & 0xFF;
constexpr int kKilled = 1000 + SIGKILL;  // as Program::WaitExit reports it
// How long the processes of an ended program may take to go; they go at once, this
// only keeps a failing run from waiting for ever.
constexpr int kEndWaitMs = 5000;

// A process, told apart from a later one of the same number by when it started.
struct Process {
  pid_t pid = 0;
  pid_t parent = 0;
  unsigned long long started = 0;
  char state = '?';
  int threads = 0;
  std::string command;  // its command line, arguments separated by spaces

  // The zygote and the renderers it forks carry the command line of the web engine's
  // process executable (Quillmere's or Qt's own).
  bool WebEngine() const { return command.find("WebEngineProcess") != std::string::npos; }
  // A zygote has one thread, or it could not fork; a renderer has many.
  bool Renderer() const { return WebEngine() && threads > 1; }
};

std::optional<Process> Read(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return std::nullopt;
  std::istringstream fields(stat.substr(close + 2));
  Process p;
  p.pid = pid;
  std::string field;
  for (int i = 3; fields >> field; ++i) {
    if (i == 3) p.state = field[0];
    if (i == 4) p.parent = std::atoi(field.c_str());
    if (i == 20) p.threads = std::atoi(field.c_str());
    if (i == 22) p.started = std::stoull(field);
  }
  p.command = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  std::replace(p.command.begin(), p.command.end(), '\0', ' ');
  return p;
}

std::map<pid_t, Process> AllProcesses() {
  std::map<pid_t, Process> all;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    if (auto p = Read(pid)) all[pid] = *p;
  }
  if (proc != nullptr) closedir(proc);
  return all;
}

// The web engine's processes below `root`: its zygote and renderers.
std::vector<Process> WebEngineProcessesOf(pid_t root) {
  const std::map<pid_t, Process> all = AllProcesses();
  std::vector<Process> out;
  for (const auto& [pid, p] : all) {
    if (!p.WebEngine()) continue;
    pid_t above = p.parent;
    for (int depth = 0; depth < 16 && above > 1 && above != root; ++depth) {
      const auto it = all.find(above);
      above = it == all.end() ? 0 : it->second.parent;
    }
    if (above == root) out.push_back(p);
  }
  return out;
}

// Still running: there, the same process, and not a zombie waiting for its parent.
bool Alive(const Process& p) {
  const auto now = Read(p.pid);
  return now && now->started == p.started && now->state != 'Z';
}

std::vector<Process> StillAlive(const std::vector<Process>& processes) {
  std::vector<Process> out;
  std::copy_if(processes.begin(), processes.end(), std::back_inserter(out), Alive);
  return out;
}

std::string Describe(const std::vector<Process>& processes) {
  std::string out;
  for (const Process& p : processes) out += std::to_string(p.pid) + " " + p.command + "\n";
  return out;
}

// The web engine's processes of `root` once one of them draws a page.
std::vector<Process> WhenDrawing(pid_t root) {
  std::vector<Process> processes;
  WaitFor(
      [&] {
        processes = WebEngineProcessesOf(root);
        return std::any_of(processes.begin(), processes.end(),
                           [](const Process& p) { return p.Renderer(); });
      },
      60000);
  return processes;
}

// Processes that a failing case leaves running end with it.
class KillAtEnd {
 public:
  void Add(const std::vector<Process>& processes) {
    processes_.insert(processes_.end(), processes.begin(), processes.end());
  }
  ~KillAtEnd() {
    for (const Process& p : StillAlive(processes_)) ::kill(p.pid, SIGKILL);
  }

 private:
  std::vector<Process> processes_;
};

// The standalone player playing `movie`, once it runs.
std::optional<Process> PlayerOf(const fs::path& movie) {
  std::optional<Process> player;
  WaitFor(
      [&] {
        for (const auto& [pid, p] : AllProcesses()) {
          if (p.command.find("FlashPlayer " + movie.string()) != std::string::npos &&
              p.state != 'Z') {
            player = p;
          }
        }
        return player.has_value();
      },
      60000);
  return player;
}

// The sockets a process holds, by descriptor: "socket:[inode]".
std::map<int, std::string> Sockets(pid_t pid) {
  std::map<int, std::string> sockets;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (target.rfind("socket:", 0) == 0)
      sockets[std::atoi(entry.path().filename().c_str())] = target;
  }
  return sockets;
}

// Copies of every socket of a process (pidfd_getfd, Linux 5.6), held as a program that
// it started would once have held them: the web engine's processes read theirs to the
// end, and would wait for them for ever.
class HeldSockets {
 public:
  explicit HeldSockets(pid_t pid) {
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_getfd)
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (process < 0) return;
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fds, error)) {
      if (fs::read_symlink(entry.path(), error).string().rfind("socket:", 0) != 0) continue;
      const int copy = static_cast<int>(
          ::syscall(SYS_pidfd_getfd, process, std::atoi(entry.path().filename().c_str()), 0));
      if (copy >= 0) held_.push_back(copy);
    }
    ::close(process);
#else
    (void)pid;
#endif
  }
  ~HeldSockets() {
    for (int fd : held_) ::close(fd);
  }
  std::size_t size() const {
    return held_.size();
  }

 private:
  std::vector<int> held_;
};

// How the web engine runs the program's pages: as root it cannot sandbox them, and the
// zygote forks renderers that are left to themselves; as another user each renderer lives
// in a PID namespace below the zygote's.
enum class Sandbox { kOff, kOn };

void PrintTo(Sandbox sandbox, std::ostream* out) {
  *out << (sandbox == Sandbox::kOn ? "sandboxed" : "unsandboxed");
}

std::string Name(const ::testing::TestParamInfo<Sandbox>& info) {
  return info.param == Sandbox::kOn ? "Sandboxed" : "Unsandboxed";
}

// The program on a course of its own, started as "quillmere COURSE" so that it finds the
// build's standalone player beside it. Sandboxed, it runs as the user "nobody" when the
// test runs as root.
class ProgramOnCourse {
 public:
  ProgramOnCourse(const std::string& name, const std::string& version_movie,
                  const std::string& main_movie, Sandbox sandbox)
      : course_(name, version_movie), sandbox_(sandbox) {
    fs::copy_file(fs::path(QM_SHELL_MOVIES_DIR) / (main_movie + ".swf"), course_.Dir() / "main.swf",
                  fs::copy_options::overwrite_existing);
  }
  // Why the program cannot run that way here; empty when it can.
  static std::string Unusable(Sandbox sandbox) {
    if (sandbox == Sandbox::kOff) return {};
    // The sandbox needs user namespaces: to map the user, and for a PID namespace.
    const std::string probe = std::string(geteuid() == 0 ? kAsNobody : "") +
                              " unshare --user --map-root-user --pid --fork true";
    if (std::system((probe + " >/dev/null 2>&1").c_str()) != 0) {
      return "the web engine's sandbox needs user namespaces, and this machine gives none";
    }
    return {};
  }
  void Start() {
    std::vector<std::string> command;
    std::vector<std::pair<std::string, std::string>> environment;
    if (sandbox_ == Sandbox::kOn) {
      command = {"env", "-u", "QTWEBENGINE_DISABLE_SANDBOX"};
      if (geteuid() == 0) AsNobody(command, environment);
    }
    command.insert(command.end(), {QM_PROGRAM, course_.Dir().string()});
    program_.emplace(command, course_.Dir() / "stderr.log", environment);
  }
  Course& course() { return course_; }
  Program& program() { return *program_; }

 private:
  static constexpr const char* kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";

  // The course and a home of its own become nobody's; the display's key is shared.
  void AsNobody(std::vector<std::string>& command,
                std::vector<std::pair<std::string, std::string>>& environment) {
    const fs::path home = course_.Dir() / "home";
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    if (const char* key = std::getenv("XAUTHORITY"); key != nullptr && fs::exists(key)) {
      fs::copy_file(key, home / "Xauthority");
      environment.push_back({"XAUTHORITY", (home / "Xauthority").string()});
    }
    for (const auto& entry : fs::recursive_directory_iterator(course_.Dir())) {
      (void)!::chown(entry.path().c_str(), 65534, 65534);
    }
    (void)!::chown(course_.Dir().c_str(), 65534, 65534);
    environment.insert(environment.end(),
                       {{"HOME", home.string()}, {"XDG_RUNTIME_DIR", (home / "runtime").string()}});
    std::istringstream words(kAsNobody);
    for (std::string word; words >> word;) command.push_back(word);
  }

  Course course_;
  Sandbox sandbox_;
  std::optional<Program> program_;
};

class ProgramProcesses : public ::testing::TestWithParam<Sandbox> {
 protected:
  void SetUp() override {
    if (const std::string why = ProgramOnCourse::Unusable(GetParam()); !why.empty()) {
      GTEST_SKIP() << why;
    }
  }
  // The program's processes run as this case says.
  void ExpectSandbox(const std::vector<Process>& processes) const {
    for (const Process& p : processes) {
      EXPECT_EQ(p.command.find("--no-sandbox") == std::string::npos, GetParam() == Sandbox::kOn)
          << p.command;
    }
  }
};

// A lesson movie the course started plays on in the standalone player after the course
// movie has ended the program; the program's own web engine processes end, the
// player's do not. Killed, the player takes its own with it.
TEST_P(ProgramProcesses, ExitProgramWhileAStartedPlayerRunsLeavesNoneOfTheProgramsBehind) {
  ProgramOnCourse run("exit-with-player", "version_11_0", "exec_first", GetParam());
  Course& course = run.course();
  fs::copy_file(fs::path(QM_SHELL_MOVIES_DIR) / "version_11_0.swf", course.Dir() / "lesson.swf");
  run.Start();
  Program& program = run.program();
  ASSERT_TRUE(course.SendAndWait("first")) << program.Log();

  KillAtEnd left;
  const auto player = PlayerOf(course.Dir() / "lesson.swf");
  ASSERT_TRUE(player) << "the lesson movie did not start in the standalone player\n"
                      << program.Log();
  left.Add({*player});
  std::vector<Process> players;
  const bool drawn = WaitFor(
      [&] {
        players = WebEngineProcessesOf(player->pid);
        return std::any_of(players.begin(), players.end(), [](auto& p) { return p.Renderer(); });
      },
      60000);
  left.Add(players);
  ASSERT_TRUE(drawn) << "the standalone player drew nothing";
  const std::vector<Process> ours = WhenDrawing(program.Pid());
  left.Add(ours);
  ASSERT_GE(ours.size(), 2u) << Describe(ours);
  ExpectSandbox(ours);
  // None of the program's sockets went to the player.
  std::set<std::string> programs;
  for (const auto& [fd, socket] : Sockets(program.Pid())) programs.insert(socket);
  for (const auto& [fd, socket] : Sockets(player->pid)) {
    EXPECT_EQ(programs.count(socket), 0u) << "the player holds the program's " << socket;
  }

  course.Send("exitprogram");
  ASSERT_EQ(program.WaitExit(30000), std::optional<int>(kExitProgramStatus)) << program.Log();
  EXPECT_TRUE(WaitFor([&] { return StillAlive(ours).empty(); }, kEndWaitMs))
      << "left running:\n"
      << Describe(StillAlive(ours));
  EXPECT_TRUE(Alive(*player));
  EXPECT_EQ(StillAlive(players).size(), players.size()) << "the player lost:\n"
                                                        << Describe(players);

  ASSERT_EQ(::kill(player->pid, SIGKILL), 0);
  EXPECT_TRUE(WaitFor([&] { return StillAlive(players).empty(); }, kEndWaitMs))
      << "the killed player left running:\n"
      << Describe(StillAlive(players));
}

// Killed (as a user's kill or the out-of-memory killer would), the program cannot end
// anything itself; its sockets may even live on in another process.
TEST_P(ProgramProcesses, AKilledProgramLeavesNoWebEngineProcessEvenWithItsSocketsHeld) {
  ProgramOnCourse run("killed", "version_11_0", "commands", GetParam());
  run.Start();
  ASSERT_TRUE(run.course().SendAndWait("first")) << run.program().Log();
  const std::vector<Process> ours = WhenDrawing(run.program().Pid());
  KillAtEnd left;
  left.Add(ours);
  ASSERT_GE(ours.size(), 2u) << Describe(ours);
  ExpectSandbox(ours);
  const HeldSockets held(run.program().Pid());
  if (held.size() == 0) GTEST_SKIP() << "this kernel lends no descriptor of another process";

  ASSERT_EQ(::kill(run.program().Pid(), SIGKILL), 0);
  ASSERT_EQ(run.program().WaitExit(30000), std::optional<int>(kKilled));
  EXPECT_TRUE(WaitFor([&] { return StillAlive(ours).empty(); }, kEndWaitMs))
      << "left running:\n"
      << Describe(StillAlive(ours));
}

INSTANTIATE_TEST_SUITE_P(Both, ProgramProcesses, ::testing::Values(Sandbox::kOff, Sandbox::kOn),
                         Name);

}  // namespace
