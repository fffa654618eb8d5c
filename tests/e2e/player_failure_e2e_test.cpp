// The desktop program when its player fails, end to end under a virtual X server: the
// web engine's process behind the course movie killed (as the out-of-memory killer
// would), a course movie that cannot be played, and the runtime check while the movie
// waits in a dialog of its own.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

#include "e2e/shell_program.h"
#include "support/nginx_server.h"

namespace {

using namespace qm::testing::shell;

constexpr int kPlayerFailedExitCode = 4;

// A process of the web engine that draws a page: its PID and when it started (clock
// ticks since boot), among the descendants of `root`.
struct Renderer {
  pid_t pid;
  unsigned long long started;
};

std::vector<Renderer> Renderers(pid_t root) {
  struct Process {
    pid_t pid, parent;
    unsigned long long started;
    bool renderer;
  };
  std::vector<Process> all;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    Process p{pid, 0, 0, false};
    for (int i = 3; fields >> field; ++i) {
      if (i == 4) p.parent = std::atoi(field.c_str());
      if (i == 22) p.started = std::stoull(field);
    }
    std::string command = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(command.begin(), command.end(), '\0', ' ');
    // Pages are drawn by processes the web engine's zygote forks: they carry its command
    // line (Quillmere's or Qt's own process executable), and their parent is the zygote,
    // not the program.
    p.renderer = command.find("WebEngineProcess") != std::string::npos;
    all.push_back(p);
  }
  if (proc != nullptr) closedir(proc);
  auto descends = [&](pid_t pid) {
    for (int depth = 0; depth < 8 && pid > 1; ++depth) {
      if (pid == root) return true;
      const auto it = std::find_if(all.begin(), all.end(), [&](auto& p) { return p.pid == pid; });
      if (it == all.end()) return false;
      pid = it->parent;
    }
    return false;
  };
  std::vector<Renderer> out;
  for (const Process& p : all) {
    if (p.renderer && p.parent != root && descends(p.pid)) out.push_back({p.pid, p.started});
  }
  std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.started < b.started; });
  return out;
}

// The one dialog opened since `before` dialogs were, once it is there.
std::optional<Json> NextOpened(Program& program, std::size_t before) {
  if (!WaitFor([&] { return program.Opened().size() > before || !program.Running(); }, 60000)) {
    return std::nullopt;
  }
  const auto opened = program.Opened();
  if (opened.size() <= before) return std::nullopt;
  return opened[before];
}

// Killed once, the course starts again with a message; killed again within a minute,
// the program says so and ends instead of looping.
TEST(PlayerFailure, AKilledPlayerRestartsTheCourseAndASecondLossEndsTheProgram) {
  Course course("killed", "version_11_0");
  Program program(course);
  ASSERT_TRUE(course.SendAndWait("first")) << program.Log();
  // The course movie's page is the oldest; the version movie's starts after its first frame.
  ASSERT_TRUE(WaitFor([&] { return Renderers(program.Pid()).size() >= 2; }, 30000));
  ASSERT_EQ(::kill(Renderers(program.Pid()).front().pid, SIGKILL), 0);

  const auto restarted = NextOpened(program, 0);
  ASSERT_TRUE(restarted) << program.Log();
  EXPECT_EQ((*restarted)["type"], "plain");
  EXPECT_NE((*restarted)["text"].get<std::string>().find("restarted"), std::string::npos);
  ASSERT_TRUE(program.AnswerDialog());
  // The movie runs again from its first frame and serves the next command.
  EXPECT_TRUE(course.SendAndWait("again")) << program.Log();
  EXPECT_TRUE(program.Running());

  // Its new page is now the newest one.
  ASSERT_EQ(::kill(Renderers(program.Pid()).back().pid, SIGKILL), 0);
  const auto ended = NextOpened(program, 1);
  ASSERT_TRUE(ended) << program.Log();
  EXPECT_NE((*ended)["text"].get<std::string>().find("again"), std::string::npos);
  Sleep(500);
  EXPECT_TRUE(program.Running()) << "the program ends once the message is closed";
  ASSERT_TRUE(program.AnswerDialog());
  EXPECT_EQ(program.WaitExit(30000), std::optional<int>(kPlayerFailedExitCode)) << program.Log();
}

// A movie copied badly from its CD, or a file that is no movie: the program names the
// file and what is wrong, and ends once the message is closed.
TEST(PlayerFailure, ACourseMovieThatCannotBePlayedIsReportedAndEndsTheProgram) {
  const std::string whole = ReadFile(fs::path(QM_SHELL_MOVIES_DIR) / "commands.swf");
  const std::pair<std::string, std::string> movies[] = {
      {whole.substr(0, whole.size() / 2), "cut short"},
      {"This is a text file, not a movie.\n", "not a Flash movie"},
  };
  for (const auto& [content, problem] : movies) {
    SCOPED_TRACE(problem);
    Course course("bad-movie", "version_11_0");
    std::ofstream(course.Dir() / "main.swf", std::ios::binary | std::ios::trunc) << content;
    Program program(course);
    const auto message = NextOpened(program, 0);
    ASSERT_TRUE(message) << program.Log();
    EXPECT_EQ((*message)["type"], "plain");
    const std::string text = (*message)["text"];
    EXPECT_NE(text.find((course.Dir() / "main.swf").string()), std::string::npos) << text;
    EXPECT_NE(text.find(problem), std::string::npos) << text;
    ASSERT_TRUE(program.AnswerDialog(0));
    EXPECT_EQ(program.WaitExit(30000), std::optional<int>(kPlayerFailedExitCode)) << program.Log();
  }
}

// The course's first request opens a dialog and waits in it across the runtime check:
// the check waits too, and the course goes on once the learner answers.
TEST(PlayerFailure, TheRuntimeCheckWaitsForAMovieHeldInADialog) {
  Course course("held", "version_11_0");
  fs::copy_file(fs::path(QM_SHELL_MOVIES_DIR) / "newfolder_first.swf", course.Dir() / "main.swf",
                fs::copy_options::overwrite_existing);
  Program program(course);
  const auto dialog = NextOpened(program, 0);
  ASSERT_TRUE(dialog) << program.Log();
  EXPECT_EQ((*dialog)["text"], "创建文件夹失败");
  Sleep(4000);  // several ticks of the check while the movie waits
  EXPECT_EQ(program.Opened().size(), 1u) << program.Log();
  ASSERT_TRUE(program.AnswerDialog(0));
  EXPECT_TRUE(WaitFor([&] { return fs::exists(course.Dir() / "after.txt"); }, 30000))
      << program.Log();
  Sleep(3000);  // the check has read the version by now
  EXPECT_TRUE(program.Running());
  EXPECT_EQ(program.Opened().size(), 1u) << program.Log();
}

// An upgrade offered at start: the learner accepts it, it downloads, starts and ends the
// program. The runtime check, which waits behind the question and the download, says
// nothing about the runtime as the program ends.
TEST(PlayerFailure, AnAcceptedUpgradeEndsTheProgramWithoutARuntimeMessage) {
  const fs::path www = fs::temp_directory_path() / ("qm-update-www-" + std::to_string(getpid()));
  fs::remove_all(www);
  const fs::path reply =
      www / "index.php/index/soft_update/5E0B7C1A-93D4-4F2B-A8E6-3C71D9B04F25/1.0/index.html";
  fs::create_directories(reply.parent_path());
  fs::create_directories(www / "upload");
  std::ofstream(reply) << "A new version is ready. @@@/upload/setup.bin";
  std::ofstream(www / "upload/setup.bin") << std::string(512 * 1024, 'u');
  qm::testing::NginxServer nginx(www);
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();

  Course course("upgrade", "version_11_0");
  Program program(course, {}, {"--update-url", nginx.Url()});
  const auto question = NextOpened(program, 0);
  ASSERT_TRUE(question) << program.Log();
  EXPECT_EQ((*question)["text"], "检查到软件有升级程序，是否升级？");
  ASSERT_TRUE(program.AnswerDialog(0));  // Return: the default button, "yes"
  EXPECT_EQ(program.WaitExit(60000), std::optional<int>(0)) << program.Log();
  EXPECT_EQ(ReadFile(course.Dir() / "setup.bin").size(), 512u * 1024);
  for (const Json& opened : program.Opened()) {
    EXPECT_EQ(opened["text"].get<std::string>().find("flashplayer"), std::string::npos)
        << opened.dump();
  }
  fs::remove_all(www);
}

}  // namespace
