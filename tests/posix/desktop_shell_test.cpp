#include "posix/desktop_shell.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/program_stand_ins.h"
#include "posix/std_file_system.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

// Waits (bounded) for a started program to leave its marker file.
std::string WaitForFile(const TempDir& dir, const std::string& name) {
  for (int i = 0; i < 500 && !dir.Exists(name); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // The writer may still be writing; its last line ends the file.
  for (int i = 0; i < 100; ++i) {
    const std::string content = dir.ReadFile(name);
    if (!content.empty() && content.back() == '\n') return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return dir.ReadFile(name);
}

void WriteScript(const TempDir& dir, const std::string& name, const std::string& body) {
  dir.WriteFile(name, "#!/bin/sh\n" + body);
  fs::permissions(dir.Path() / name, fs::perms::owner_all);
}

class DesktopShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteScript(dir, "opener",
                "printf '%s\\n' \"$#\" \"$1\" > \"" + dir.Dir() + "opened.tmp\"; mv \"" +
                    dir.Dir() + "opened.tmp\" \"" + dir.Dir() + "opened\"\n");
  }
  TempDir dir;
  DesktopShell shell{text::Ansi(), (dir.Path() / "opener").string()};
};

TEST_F(DesktopShellTest, StartsProgramsInTheirFolderWithTheParameterTextAsOneArgument) {
  WriteScript(dir, "sub/FlashPlayer.exe",
              "printf '%s\\n' \"$PWD\" \"$#\" \"$1\" > ../ran.tmp; mv ../ran.tmp ../ran\n");
  const int result = shell.Execute(
      {"open", dir.Dir() + "sub/FlashPlayer.exe", dir.Dir() + "lesson/Lesson 1.SWF", "", 1});
  EXPECT_GT(result, 32);
  EXPECT_EQ(WaitForFile(dir, "ran"),
            (dir.Path() / "sub").string() + "\n1\n" + dir.Dir() + "lesson/Lesson 1.SWF\n");
}

TEST_F(DesktopShellTest, OpensDocumentsWithTheOpener) {
  dir.WriteFile("notes.doc", "x");
  EXPECT_GT(shell.Execute({"open", dir.Dir() + "notes.doc", "", "", 1}), 32);
  EXPECT_EQ(WaitForFile(dir, "opened"), "1\n" + dir.Dir() + "notes.doc\n");
}

TEST_F(DesktopShellTest, WhatCannotBeDoneHereFailsQuietly) {
  dir.WriteFile("Flash10h.ocx", "");
  dir.WriteFile("FlashPlayer.exe", "MZ");  // a Windows program: not runnable here
  EXPECT_LE(shell.Execute({"open", "regsvr32 " + dir.Dir() + "Flash10h.ocx", "", "", 1}), 32);
  EXPECT_LE(shell.Execute({"open", dir.Dir() + "FlashPlayer.exe", "a.swf", "", 1}), 32);
  EXPECT_LE(shell.Execute({"open", dir.Dir() + "missing.doc", "", "", 1}), 32);
  EXPECT_LE(shell.Execute({"open", "", "", "", 1}), 32);
  EXPECT_LE(shell.Execute({"print", dir.Dir() + "Flash10h.ocx", "", "", 1}), 32);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(dir.Exists("opened"));
}

// A course copied from Windows: its FlashPlayer.exe is a Windows program, or is missing,
// and Quillmere's own player plays the movie instead; a runnable one still runs itself.
TEST_F(DesktopShellTest, TheStandalonePlayerStandsInForAFlashPlayerThatCannotRunHere) {
  WriteScript(dir, "player", "printf '%s\\n' \"$PWD\" \"$1\" > ../ran.tmp; mv ../ran.tmp ../ran\n");
  StdFileSystem files(text::Ansi());
  StandInShell with_player(shell, files, (dir.Path() / "player").string());
  struct Case {
    const char* course_player;  // the content of the course's FlashPlayer.exe; nullptr: none
    const char* expected;       // what ran: "player", "course" or nothing
  };
  for (const Case c : {Case{"MZ\x90 windows program", "player"}, Case{nullptr, "player"},
                       Case{"#!/bin/sh\nprintf 'course\\n' > ../ran\n", "course"}}) {
    SCOPED_TRACE(c.expected);
    fs::remove_all(dir.Path() / "course");
    fs::remove(dir.Path() / "ran");
    fs::create_directories(dir.Path() / "course");
    if (c.course_player != nullptr) {  // executable either way, as on a FAT-formatted stick
      dir.WriteFile("course/FlashPlayer.exe", c.course_player);
      fs::permissions(dir.Path() / "course/FlashPlayer.exe", fs::perms::owner_all);
    }
    EXPECT_GT(with_player.Execute({"open", dir.Dir() + "course/FlashPlayer.exe",
                                   dir.Dir() + "course/lesson 1.swf", "", 1}),
              32);
    EXPECT_EQ(WaitForFile(dir, "ran"),
              std::string(c.expected) == "player"
                  ? (dir.Path() / "course").string() + "\n" + dir.Dir() + "course/lesson 1.swf\n"
                  : "course\n");
  }
  // The course's registration of its Flash control starts nothing, on any system.
  EXPECT_EQ(
      with_player.Execute({"open", "REGSVR32 " + dir.Dir() + "course/Flash10h.ocx", "", "", 1}),
      StandInShell::kNotStarted);
  // Only the course's player is stood in for: another Windows program still fails.
  dir.WriteFile("course/Course.exe", "MZ");
  EXPECT_LE(with_player.Execute({"open", dir.Dir() + "course/Course.exe", "a.swf", "", 1}), 32);
}

// What the program had open (files, pipes, sockets such as the web engine's, at any
// number) and the signals it ignores (the web engine ignores SIGPIPE) stay with it.
TEST_F(DesktopShellTest, AStartedProgramGetsOnlyStandardInputOutputAndErrorAndNoIgnoredSignal) {
  const int file = ::open((dir.Path() / "notes.txt").c_str(), O_WRONLY | O_CREAT, 0600);
  int pipe_ends[2], sockets[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  const int high = ::dup2(sockets[1], 300);
  ASSERT_GE(file, 3);
  ASSERT_EQ(high, 300);
  struct sigaction ignore = {};
  struct sigaction before = {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &before);

  // The shell lists its own descriptors with ls (whose own are not the shell's).
  const bool started = StartDetached(
      "/bin/sh",
      {"-c",
       "exec > \"$0.tmp\"; ls /proc/$$/fd; grep '^SigIgn' /proc/$$/status; mv \"$0.tmp\" \"$0\"",
       dir.Dir() + "inherited"},
      dir.Dir());

  ::sigaction(SIGPIPE, &before, nullptr);
  for (int fd : {file, pipe_ends[0], pipe_ends[1], sockets[0], sockets[1], high}) ::close(fd);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForFile(dir, "inherited"), "0\n1\n2\nSigIgn:\t0000000000000000\n");
}

TEST_F(DesktopShellTest, CommonApplicationData) {
  EXPECT_NE(shell.SpecialFolderPath(kCsidlCommonAppData), std::nullopt);
  EXPECT_EQ(shell.SpecialFolderPath(26), std::nullopt);
}

}  // namespace
}  // namespace qm::testing
