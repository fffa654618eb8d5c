// A course played straight from a read-only medium (its CD, a read-only share): the real
// "quillmere COURSE" under a virtual X server, on a course folder that nothing may write
// to, played over the learner's own layer in $XDG_DATA_HOME: everything the course saves
// goes there and loads back, and the course folder stays as shipped. The course movie is
// read_only.swf (tools/course_run_movies.cpp): it takes its
// commands from a writable folder beside the course ("../control") and reports each
// call's result there. The program runs with QM_DIALOG_LOG=1; the test reads the
// dialogs from its standard error and answers them with real key presses.
//
// Root ignores file permissions, so as root the course is a read-only bind mount in a
// mount namespace of the program's own (unshare), which vanishes with the program, or,
// where mounting is not allowed, the program runs as the unprivileged user "nobody"; as
// another user the course's files and folders lose their write permission. Where none
// of these can be set up the test is skipped and says why.
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
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/shell_program.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;
using qm::testing::shell::Program;
using qm::testing::shell::ReadFile;
using qm::testing::shell::WaitFor;

std::string FirstLine(const fs::path& path) {
  std::string text = ReadFile(path);
  text = text.substr(0, text.find_first_of("\r\n"));
  return text;
}

// Runs a command without a shell; its exit status, or -1.
int Run(const std::vector<std::string>& argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::freopen("/dev/null", "w", stderr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Every file below `folder` with its content.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    files[name] = entry.is_directory() ? "<folder>" : ReadFile(entry.path());
  }
  return files;
}

// The course on disk: "source" holds it and the program plays it read-only, in the
// first of these ways that works here:
//   - as root, from the mount point "Course", a read-only bind mount of "source" in a
//     mount namespace of the program's own (unshare);
//   - as root, as the unprivileged user "nobody" (setpriv), for whom the folder root
//     owns is read-only;
//   - as another user, from "source" with its write permissions taken away.
// "control" beside it, writable by all, is where the movie reads commands and writes
// results.
class ReadOnlyCourse {
 public:
  ReadOnlyCourse() {
    base_ = fs::temp_directory_path() / ("qm-read-only-e2e-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(Source() / "data");
    fs::create_directories(Control());
    fs::create_directories(Home());
    fs::copy_file(QM_COURSE_RUN_MOVIES_DIR "/read_only.swf", Source() / "main.swf");
    fs::copy_file(QM_MOVIES_DIR "/version.swf", Source() / "version.swf");
    std::ofstream(Source() / "lesson.txt") << "Lesson one\r\nGreetings\r\n";
    std::ofstream(Source() / "data" / "words.txt") << "apple\r\n";
    course_ = Source();
    if (geteuid() != 0) {
      way_ = Way::kPermissions;
      for (const auto& entry : fs::recursive_directory_iterator(Source())) Protect(entry.path());
      Protect(Source());
    } else if (fs::create_directories(base_ / "Course");
               Run({"unshare", "--mount", "--propagation", "private", "sh", "-c",
                    std::string(kMountReadOnly) + " && ! touch \"$2/probe\"", "sh",
                    Source().string(), (base_ / "Course").string()}) == 0) {
      way_ = Way::kMount;
      course_ = base_ / "Course";
    } else {
      way_ = Way::kOtherUser;
      fs::permissions(Control(), fs::perms::all);
      fs::permissions(Home(), fs::perms::all);
      // The display's key, for the other user.
      if (const char* key = std::getenv("XAUTHORITY"); key != nullptr && fs::exists(key)) {
        fs::copy_file(key, base_ / "Xauthority");
        fs::permissions(base_ / "Xauthority", fs::perms::others_read, fs::perm_options::add);
      }
    }
    // Whoever plays the course may write beside it, but not in it.
    const std::vector<std::string> as = Player();
    std::vector<std::string> can_write = as, cannot_write = as;
    can_write.insert(can_write.end(), {"touch", (Control() / "probe").string()});
    cannot_write.insert(cannot_write.end(), {"touch", (Source() / "probe").string()});
    if (way_ != Way::kMount && (Run(can_write) != 0 || Run(cannot_write) == 0)) {
      unusable_ = geteuid() == 0
                      ? "as root a read-only course needs a read-only bind mount in a mount "
                        "namespace of its own (unshare --mount, mount --bind) or an unprivileged "
                        "user to play it (setpriv), and this machine allows neither"
                      : "the course folder stays writable without its write permissions";
    }
    // The unprivileged user must reach the program and its player (a build tree below a
    // folder only root may enter is not theirs: the program then finds no Flash player).
    // unshare's private propagation fails where / is no mount point, as in a chroot.
    std::vector<std::string> can_run = as;
    can_run.insert(can_run.end(), {"test", "-x", QM_PROGRAM});
    if (const char* data = std::getenv("QM_DATA_DIR"); data != nullptr) {
      can_run.insert(can_run.end(), {"-a", "-r", std::string(data) + "/ruffle/ruffle.js"});
    }
    if (way_ == Way::kOtherUser && unusable_.empty() && Run(can_run) != 0) {
      unusable_ =
          "as root without a mount namespace of its own (unshare --mount --propagation private "
          "failed: is / a mount point?) the course is played by \"nobody\", who cannot reach "
          "the program " QM_PROGRAM " or its data (QM_DATA_DIR)";
    }
    before_ = Snapshot(Source());
  }
  ~ReadOnlyCourse() {
    if (way_ == Way::kPermissions) {
      fs::permissions(Source(), fs::perms::owner_write, fs::perm_options::add);
      for (const auto& entry : fs::recursive_directory_iterator(Source())) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
      }
    }
    if (::testing::Test::HasFailure()) {
      std::printf("test folder kept: %s\n", base_.c_str());
    } else {
      fs::remove_all(base_);
    }
  }

  // Why the course cannot be made read-only here; empty when it can.
  const std::string& Unusable() const { return unusable_; }
  fs::path Source() const { return base_ / "source"; }
  fs::path Control() const { return base_ / "control"; }
  fs::path Home() const { return base_ / "home"; }
  fs::path Base() const { return base_; }
  bool Unchanged() const { return Snapshot(Source()) == before_; }

  // The command line that plays the course read-only.
  std::vector<std::string> CommandLine() const {
    if (way_ == Way::kMount) {
      return {"unshare",
              "--mount",
              "--propagation",
              "private",
              "sh",
              "-c",
              std::string(kMountReadOnly) + " && exec \"$3\" \"$2\"",
              "sh",
              Source().string(),
              course_.string(),
              QM_PROGRAM};
    }
    std::vector<std::string> line = Player();
    line.insert(line.end(), {QM_PROGRAM, course_.string()});
    return line;
  }
  // What the program's environment needs besides, for the learner `learner`: a data
  // folder of their own (where their layer of the course goes) and a desktop whose
  // default application for text files copies the file it opens into "opened.txt".
  std::vector<std::pair<std::string, std::string>> Environment(const std::string& learner) const {
    const fs::path data = Home() / learner;
    fs::create_directories(data / "applications");
    fs::create_directories(Home() / "config");
    std::ofstream(base_ / "opener")
        << "#!/bin/sh\ncp \"$1\" \"" << Control().string() << "/opened.txt\"\n";
    fs::permissions(base_ / "opener",
                    fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    std::ofstream(data / "applications" / "qm-opener.desktop")
        << "[Desktop Entry]\nType=Application\nName=Opener\nExec=" << (base_ / "opener").string()
        << " %f\nMimeType=text/plain;\n";
    std::ofstream(Home() / "config" / "mimeapps.list")
        << "[Default Applications]\ntext/plain=qm-opener.desktop\n";
    if (way_ == Way::kOtherUser) {
      for (const auto& entry : fs::recursive_directory_iterator(Home())) {
        fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
      }
    }
    std::vector<std::pair<std::string, std::string>> env = {
        {"QM_DIALOG_LOG", "1"},
        {"XDG_CONFIG_HOME", (Home() / "config").string()},
        {"XDG_DATA_HOME", data.string()}};
    if (way_ == Way::kOtherUser) {
      env.insert(env.end(),
                 {{"HOME", Home().string()}, {"XAUTHORITY", (base_ / "Xauthority").string()}});
    }
    return env;
  }
  // The learner's layer of the course, as the program names it.
  fs::path LayerOf(const std::string& learner) const {
    for (const auto& entry : fs::directory_iterator(Home() / learner / "quillmere" / "courses")) {
      return entry.path();
    }
    return {};
  }

 private:
  enum class Way { kMount, kOtherUser, kPermissions };
  static constexpr const char* kMountReadOnly =
      "mount --bind \"$1\" \"$2\" && mount -o remount,bind,ro \"$2\"";

  // The start of a command line that runs as the user who plays the course.
  std::vector<std::string> Player() const {
    if (way_ != Way::kOtherUser) return {};
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }

  static void Protect(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }

  fs::path base_;
  fs::path course_;
  Way way_ = Way::kPermissions;
  std::string unusable_;
  std::map<std::string, std::string> before_;
};

// What one command of the movie led to.
struct Outcome {
  bool acknowledged = false;
  std::string result;         // "typeof:value" of the call
  std::vector<Json> dialogs;  // the dialogs that opened meanwhile
};

class Movie {
 public:
  Movie(const ReadOnlyCourse& course, Program& program) : course_(course), program_(program) {}

  // Has the movie carry out a call or an fscommand, answering every dialog it opens.
  Outcome Do(const std::string& kind, const std::string& name, const std::string& a = "",
             const std::string& b = "", int timeout_ms = 60000) {
    const std::string line =
        std::to_string(++sequence_) + "|" + kind + "|" + name + "|" + a + "|" + b;
    const std::size_t opened_before = program_.Opened().size();
    std::ofstream(course_.Control() / "cmd.tmp") << line << "\r\n";
    fs::rename(course_.Control() / "cmd.tmp", course_.Control() / "cmd.txt");

    Outcome outcome;
    std::size_t answered = opened_before;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end && program_.Running()) {
      if (FirstLine(course_.Control() / "ack.txt") == line) {
        outcome.acknowledged = true;
        break;
      }
      if (program_.Opened().size() > answered) {
        if (!program_.AnswerDialog()) break;
        ++answered;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    outcome.result = FirstLine(course_.Control() / "result.txt");
    const std::vector<Json> opened = program_.Opened();
    outcome.dialogs.assign(opened.begin() + static_cast<std::ptrdiff_t>(opened_before),
                           opened.end());
    return outcome;
  }

 private:
  const ReadOnlyCourse& course_;
  Program& program_;
  int sequence_ = 0;
};

TEST(ReadOnlyCourse, PlaysOverTheLearnersOwnLayer) {
  ReadOnlyCourse course;
  if (!course.Unusable().empty()) GTEST_SKIP() << course.Unusable();
  Program program(course.CommandLine(), course.Base() / "program.log", course.Environment("ann"));
  Movie movie(course, program);

  // The course starts and reads its own files.
  Outcome o = movie.Do("call", "loadfile", "lesson.txt");
  ASSERT_TRUE(o.acknowledged) << program.Log();
  EXPECT_EQ(o.result, "string:Lesson one");
  EXPECT_TRUE(o.dialogs.empty());
  o = movie.Do("call", "fileexists", "data/words.txt");
  EXPECT_EQ(o.result, "boolean:true");

  // Every save succeeds and loads back: a new file, a shipped file in another letter
  // case, a file in a new subfolder, with each of the three saving commands.
  for (const auto& [command, path] :
       std::vector<std::pair<std::string, std::string>>{{"savefile", "notes.txt"},
                                                        {"saveBytes", "DATA/Words.txt"},
                                                        {"saveToUTF8", "data/new.txt"},
                                                        {"savefile", "notes/today/note.txt"}}) {
    SCOPED_TRACE(command + " " + path);
    o = movie.Do("call", command, path, "changed " + path);
    ASSERT_TRUE(o.acknowledged) << program.Log();
    EXPECT_EQ(o.result, "boolean:true");
    EXPECT_TRUE(o.dialogs.empty());
    o = movie.Do("call", "loadfile", path);
    EXPECT_EQ(o.result, "string:changed " + path);
  }
  o = movie.Do("call", "loadfile", "data/words.txt");
  EXPECT_EQ(o.result, "string:changed DATA/Words.txt");
  // Folders are made, and one the course holds exists already.
  o = movie.Do("call", "newfolder", "lesson2/words");
  ASSERT_TRUE(o.acknowledged) << program.Log();
  EXPECT_EQ(o.result, "boolean:true");
  EXPECT_TRUE(o.dialogs.empty());
  o = movie.Do("call", "fileexists", "lesson2/words/*.*");
  EXPECT_EQ(o.result, "boolean:false");

  // One of the learner's own documents opens in the desktop's application.
  o = movie.Do("fscommand", "exec", "notes.txt");
  ASSERT_TRUE(o.acknowledged) << program.Log();
  EXPECT_TRUE(WaitFor(
      [&] { return FirstLine(course.Control() / "opened.txt") == "changed notes.txt"; }, 20000))
      << "the document did not open";

  // Recording: "Temp.wav" goes into the learner's layer and plays back.
  o = movie.Do("fscommand", "beginrecord");
  ASSERT_TRUE(o.acknowledged) << program.Log();
  const bool no_sound_device =
      o.dialogs.size() == 1 && o.dialogs[0]["text"] == "媒体设备初始化失败！";
  if (no_sound_device && std::getenv("QM_REQUIRE_SOUND") == nullptr) {
    std::printf("no sound server: recording is not tried\n");
  } else {
    EXPECT_TRUE(o.dialogs.empty()) << program.Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    o = movie.Do("fscommand", "stopandplayrecord");
    ASSERT_TRUE(o.acknowledged) << program.Log();
    EXPECT_TRUE(o.dialogs.empty());
    const fs::path recording = course.LayerOf("ann") / "Temp.wav";
    EXPECT_GT(fs::exists(recording) ? fs::file_size(recording) : 0, 44u) << recording;
    // The playback runs from the recording; nothing failed while it played.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    o = movie.Do("call", "fileexists", "temp.wav");
    EXPECT_EQ(o.result, "boolean:true");
    EXPECT_TRUE(o.dialogs.empty());
  }
  EXPECT_TRUE(program.Running());
  movie.Do("fscommand", "exitprogram", "", "", 20000);
  EXPECT_TRUE(program.WaitExit(20000).has_value());

  // The course folder is as shipped; the learner's files are in their layer.
  EXPECT_TRUE(course.Unchanged());
  EXPECT_EQ(FirstLine(course.LayerOf("ann") / "notes.txt"), "changed notes.txt");

  // Another learner (another data folder) sees the course as shipped.
  for (const char* name : {"cmd.txt", "ack.txt", "result.txt"}) fs::remove(course.Control() / name);
  Program second(course.CommandLine(), course.Base() / "second.log", course.Environment("bob"));
  Movie other(course, second);
  o = other.Do("call", "loadfile", "data/words.txt");
  ASSERT_TRUE(o.acknowledged) << second.Log();
  EXPECT_EQ(o.result, "string:apple");
  o = other.Do("call", "fileexists", "notes.txt");
  EXPECT_EQ(o.result, "boolean:false");
  EXPECT_TRUE(course.Unchanged());
}

}  // namespace
