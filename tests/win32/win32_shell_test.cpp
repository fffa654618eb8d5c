// The shell, the profile writer, the process and the host paths of Windows.
#include "win32/win32_shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/host_paths.h"
#include "text/codepage.h"
#include "win32/win32_process.h"
#include "win32/win32_profile_writer.h"
#include "win32/windows_api.h"  // ahead of the shell's headers

#include <shlobj.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

class Win32ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("qm_shell_" + std::to_string(::GetCurrentProcessId()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    ASSERT_TRUE(fs::create_directories(root_));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  // The path in the code page (the tests' folders are ASCII).
  std::string A(const std::string& relative) const { return (root_ / relative).string(); }
  void Put(const std::string& relative) const {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << "x";
  }

  text::CodePage code_page_{"CP1252"};
  Win32Shell shell_{code_page_};
  fs::path root_;
};

TEST_F(Win32ShellTest, SpecialFoldersAreNamedWithoutTrailingSeparator) {
  for (const int csidl : {kCsidlCommonAppData, CSIDL_LOCAL_APPDATA, CSIDL_WINDOWS}) {
    const auto folder = shell_.SpecialFolderPath(csidl);
    ASSERT_TRUE(folder.has_value()) << csidl;
    EXPECT_FALSE(folder->empty());
    EXPECT_NE(folder->back(), '\\');
    EXPECT_TRUE(fs::is_directory(*folder)) << *folder;
  }
  EXPECT_EQ(*shell_.SpecialFolderPath(kCsidlCommonAppData), CommonAppDataFolder());
  EXPECT_FALSE(shell_.SpecialFolderPath(0x7F).has_value());  // no such folder
}

TEST_F(Win32ShellTest, DeletionRemovesEveryItemWithOrWithoutUndo) {
  constexpr unsigned kQuiet = kFofSilent | kFofNoConfirmation | kFofNoErrorUi;
  for (const unsigned undo : {0u, kFofAllowUndo}) {
    Put("folder/inner.txt");
    Put("single.txt");
    ShellFileOperation operation;
    operation.from = {A("folder"), A("single.txt")};
    operation.flags = kQuiet | undo;
    EXPECT_EQ(shell_.FileOperation(operation), 0) << undo;
    EXPECT_FALSE(fs::exists(root_ / "folder")) << undo;
    EXPECT_FALSE(fs::exists(root_ / "single.txt")) << undo;
  }
  ShellFileOperation nothing;
  nothing.flags = kQuiet;
  EXPECT_EQ(shell_.FileOperation(nothing), Win32Shell::kInvalidFiles);
  nothing.from = {""};
  EXPECT_EQ(shell_.FileOperation(nothing), Win32Shell::kInvalidFiles);
}

TEST_F(Win32ShellTest, ExecutingAMissingFileFails) {
  ShellRequest request;
  request.verb = "open";
  request.file = A("missing.exe");
  EXPECT_LE(shell_.Execute(request), 32);
  request.file = A("missing.txt");
  EXPECT_LE(shell_.Execute(request), 32);
}

TEST_F(Win32ShellTest, ProfileWriterSetsKeysThatTheSystemReadsBack) {
  const std::string ini = A("course.ini");
  Win32ProfileWriter writer;
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } writes[] = {
      {"Player", "Volume", "80"},
      {"Player", "Muted", "no"},
      {"player", "VOLUME", "65"},  // the same key: names ignore case
      {"Learner", "Name", "Zo\xEB"},
  };
  for (const auto& w : writes) {
    EXPECT_TRUE(writer.WritePrivateProfileString(w.section, w.key, w.value, ini)) << w.key;
  }
  const auto read = [&](const char* section, const char* key) {
    char value[64] = {};
    ::GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, ini.c_str());
    return std::string(value);
  };
  EXPECT_EQ(read("Player", "Volume"), "65");
  EXPECT_EQ(read("Player", "Muted"), "no");
  EXPECT_EQ(read("Learner", "Name"), "Zo\xEB");
  EXPECT_EQ(read("Learner", "Missing"), "(none)");
  EXPECT_FALSE(writer.WritePrivateProfileString("S", "K", "V", A("missing\\folder\\course.ini")));
}

TEST(Win32ProcessTest, RunningProcessIsStillActive) {
  EXPECT_EQ(Win32Process().ExitCode(), kStillActive);
}

TEST(Win32ProcessDeathTest, TerminateEndsTheProcessWithTheCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Win32Process().Terminate(7), ::testing::ExitedWithCode(7), "");
}

TEST(Win32HostPathsTest, NamesTheExecutableAndTheDataFolders) {
  const std::string executable = ExecutablePath();
  EXPECT_EQ(fs::path(executable).filename().string(), "qm_win32_tests.exe");
  EXPECT_TRUE(IsExecutableFile(executable));
  for (const std::string& folder : {CommonAppDataFolder(), UserDataFolder()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  }
  EXPECT_EQ(LearnerFilesFolder("C:\\course", true), "");
}

TEST_F(Win32ShellTest, ProgramsAreNamedByTheirExtension) {
  for (const char* name : {"run.exe", "RUN.COM", "setup.Bat", "go.cmd", "notes.txt", "exe"}) {
    Put(name);
  }
  fs::create_directories(root_ / "folder.exe");
  const struct {
    const char* name;
    bool executable;
  } cases[] = {
      {"run.exe", true},    {"RUN.COM", true}, {"setup.Bat", true},   {"go.cmd", true},
      {"notes.txt", false}, {"exe", false},    {"folder.exe", false}, {"missing.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsExecutableFile(A(c.name)), c.executable) << c.name;
}

}  // namespace
}  // namespace qm
