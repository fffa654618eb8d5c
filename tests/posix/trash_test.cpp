// The desktop's trash behind the shell's file operation, and the file layer's copy and
// delete.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

#include "posix/desktop_shell.h"
#include "posix/std_file_system.h"
#include "posix/trash.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadPath(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// XDG_DATA_HOME points into a temporary folder for the test's duration.
class TrashTest : public ::testing::Test {
 protected:
  TrashTest() : shell(code_page) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) saved = old;
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  }
  ~TrashTest() override {
    if (saved) {
      ::setenv("XDG_DATA_HOME", saved->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }

  int Recycle(const std::string& path, unsigned flags = 0x0454) {
    ShellFileOperation operation;
    operation.operation = kFoDelete;
    operation.from = {path};
    operation.flags = flags;
    return shell.FileOperation(operation);
  }
  fs::path Trash() const { return data.Path() / "Trash"; }
  std::string Info(const std::string& name) const {
    std::ifstream in(Trash() / "info" / (name + ".trashinfo"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  text::CodePage code_page{"UTF-8"};
  DesktopShell shell;
  TempDir data;
  TempDir work;
  std::optional<std::string> saved;
};

TEST_F(TrashTest, AFolderGoesToTheTrashWithEverythingInItAndCanBeRestored) {
  work.WriteFile("resources/songs/a.mp3", "a");
  work.WriteFile("resources/songs/deep/b.mp3", "b");
  const std::string path = work.Dir() + "resources/songs";
  EXPECT_EQ(Recycle(path), 0);
  EXPECT_FALSE(work.Exists("resources/songs"));
  EXPECT_TRUE(work.Exists("resources"));
  EXPECT_EQ(ReadPath(Trash() / "files/songs/deep/b.mp3"), "b");
  const std::string info = Info("songs");
  const std::regex format(
      "\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(info, match, format)) << info;
  EXPECT_EQ(match[1].str(), path);
  // Private to the user, as the trash must be.
  EXPECT_EQ(fs::status(Trash() / "files").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(TrashTest, NamesAreMadeUniqueAndPathsEscaped) {
  work.WriteFile("one/英文 歌/x.txt", "1");
  work.WriteFile("two/英文 歌/x.txt", "2");
  work.WriteFile("three/英文 歌/x.txt", "3");
  for (const char* parent : {"one", "two", "three"}) {
    EXPECT_EQ(Recycle(work.Dir() + parent + "/英文 歌"), 0);
  }
  EXPECT_EQ(ReadPath(Trash() / "files/英文 歌/x.txt"), "1");
  EXPECT_EQ(ReadPath(Trash() / "files/英文 歌.2/x.txt"), "2");
  EXPECT_EQ(ReadPath(Trash() / "files/英文 歌.3/x.txt"), "3");
  EXPECT_NE(Info("英文 歌.2").find("Path=" + TrashInfoEscape(work.Dir() + "two/英文 歌") + "\n"),
            std::string::npos);
  EXPECT_EQ(TrashInfoEscape("/a b/英%.txt"), "/a%20b/%E8%8B%B1%25.txt");
}

TEST_F(TrashTest, AFolderOnAnotherDeviceIsCopiedThenRemoved) {
  // /dev/shm is a memory file system on Linux, a device of its own where it exists.
  struct stat shm, here;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(work.Path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev || ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no second device to move from";
  }
  const fs::path elsewhere = fs::path("/dev/shm") / ("qm-trash-" + std::to_string(::getpid()));
  fs::create_directories(elsewhere / "songs/deep");
  std::ofstream(elsewhere / "songs/deep/b.mp3") << "b";
  fs::create_symlink("deep/b.mp3", elsewhere / "songs/link.mp3");
  EXPECT_EQ(Recycle((elsewhere / "songs").string()), 0);
  EXPECT_FALSE(fs::exists(elsewhere / "songs"));
  EXPECT_EQ(ReadPath(Trash() / "files/songs/deep/b.mp3"), "b");
  EXPECT_TRUE(fs::is_symlink(Trash() / "files/songs/link.mp3"));
  EXPECT_NE(Info("songs").find("Path=" + (elsewhere / "songs").string() + "\n"), std::string::npos);
  fs::remove_all(elsewhere);
}

TEST_F(TrashTest, ThingsThatMustNotOrCannotGoAreRefused) {
  EXPECT_NE(Recycle(""), 0);
  EXPECT_NE(Recycle("/"), 0);
  EXPECT_NE(Recycle(work.Dir() + "missing"), 0);
  // A folder that holds the trash.
  EXPECT_NE(Recycle(data.Path().string()), 0);
  EXPECT_NE(Recycle(Trash().string()), 0);
  EXPECT_TRUE(fs::is_directory(Trash() / "files"));
  // Not a deletion.
  ShellFileOperation copy;
  copy.operation = 2;
  copy.from = {work.Dir()};
  EXPECT_NE(shell.FileOperation(copy), 0);
  // A failed move leaves nothing behind in the trash (permissions bind only non-root).
  if (::geteuid() == 0) return;
  work.WriteFile("locked/inner/f.txt", "f");
  fs::permissions(work.Path() / "locked", fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_NE(Recycle(work.Dir() + "locked/inner"), 0);
  fs::permissions(work.Path() / "locked", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(work.Exists("locked/inner/f.txt"));
  EXPECT_TRUE(fs::is_empty(Trash() / "info"));
  EXPECT_TRUE(fs::is_empty(Trash() / "files"));
}

TEST_F(TrashTest, WithoutUndoTheFolderIsDeletedForGood) {
  work.WriteFile("gone/a.txt", "a");
  EXPECT_EQ(Recycle(work.Dir() + "gone", 0x0014), 0);
  EXPECT_FALSE(work.Exists("gone"));
  EXPECT_FALSE(fs::exists(Trash() / "files/gone"));
}

TEST_F(TrashTest, AnUnusableDataHomeFallsBackToTheHomeFolder) {
  ::setenv("XDG_DATA_HOME", "relative/path", 1);
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(HomeTrashFolder(), std::string(home) + "/.local/share/Trash");
}

class FileCopyTest : public ::testing::Test {
 protected:
  text::CodePage code_page{"UTF-8"};
  StdFileSystem files{code_page};
  TempDir dir;
};

TEST_F(FileCopyTest, CopyNeverOverwritesWhenToldNotTo) {
  dir.WriteFile("from/a.txt", "new");
  dir.WriteFile("to/A.TXT", "old");
  fs::permissions(dir.Path() / "from/a.txt", fs::perms::owner_exec, fs::perm_options::add);
  // The existing name is found in any letter case, as on the system courses come from.
  EXPECT_FALSE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "to/a.txt", true));
  EXPECT_EQ(dir.ReadFile("to/A.TXT"), "old");
  EXPECT_TRUE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "to\\b.txt", true));
  EXPECT_EQ(dir.ReadFile("to/b.txt"), "new");
  EXPECT_EQ(fs::status(dir.Path() / "to/b.txt").permissions(),
            fs::status(dir.Path() / "from/a.txt").permissions());
  EXPECT_EQ(fs::last_write_time(dir.Path() / "to/b.txt"),
            fs::last_write_time(dir.Path() / "from/a.txt"));
  // Overwriting when allowed.
  EXPECT_TRUE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "to/A.TXT", false));
  EXPECT_EQ(dir.ReadFile("to/A.TXT"), "new");
  // Nothing left beside the targets.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "to"), fs::directory_iterator()), 2);
}

TEST_F(FileCopyTest, FailedCopiesLeaveNothing) {
  dir.WriteFile("from/a.txt", "a");
  fs::create_directories(dir.Path() / "folder");
  EXPECT_FALSE(files.CopyFile(dir.Dir() + "from/missing.txt", dir.Dir() + "x.txt", true));
  EXPECT_FALSE(files.CopyFile(dir.Dir() + "folder", dir.Dir() + "y", true));
  EXPECT_FALSE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "nowhere/a.txt", true));
  EXPECT_FALSE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "folder", false));
  fs::permissions(dir.Path() / "folder", fs::perms::owner_write, fs::perm_options::remove);
  if (::geteuid() != 0) {
    EXPECT_FALSE(files.CopyFile(dir.Dir() + "from/a.txt", dir.Dir() + "folder/a.txt", true));
  }
  fs::permissions(dir.Path() / "folder", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(fs::is_empty(dir.Path() / "folder"));
  EXPECT_FALSE(dir.Exists("x.txt"));
}

TEST_F(FileCopyTest, DeleteRemovesFilesOnly) {
  dir.WriteFile("Songs/A.mp3", "a");
  EXPECT_TRUE(files.DeleteFile(dir.Dir() + "songs\\a.mp3"));
  EXPECT_FALSE(dir.Exists("Songs/A.mp3"));
  EXPECT_FALSE(files.DeleteFile(dir.Dir() + "songs\\a.mp3"));
  EXPECT_FALSE(files.DeleteFile(dir.Dir() + "Songs"));
  EXPECT_TRUE(dir.Exists("Songs"));
  EXPECT_FALSE(files.DeleteFile(""));
}

}  // namespace
}  // namespace qm::testing
