#include "posix/std_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class StdFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/qm_fs_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  std::string P(const std::string& relative) const { return root_ + "/" + relative; }
  void Put(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(fs::path(P(relative)).parent_path());
    std::ofstream(P(relative), std::ios::binary) << bytes;
  }
  std::string Get(const std::string& relative) const {
    std::ostringstream out;
    out << std::ifstream(P(relative), std::ios::binary).rdbuf();
    return out.str();
  }
  std::vector<std::string> List(const std::string& relative = "") const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(P(relative))) {
      names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The EInOutError code thrown by `action`, or -1.
  template <typename F>
  static int CodeOf(F action) {
    try {
      action();
    } catch (const EInOutError& e) {
      return e.Code();
    }
    return -1;
  }

  std::string root_;
  text::CodePage utf8_{"UTF-8"};
  StdFileSystem fs_{utf8_};
};

using StdFileSystemResolve = StdFileSystemTest;

TEST_F(StdFileSystemResolve, FindsComponentsInAnyCase) {
  Put("audio/lesson1.mp3", "");
  Put("course/Unit2/media/clip.swf", "");
  EXPECT_EQ(fs_.Resolve(root_ + "\\Audio\\Lesson1.MP3"), P("audio/lesson1.mp3"));
  EXPECT_EQ(fs_.Resolve(root_ + "\\COURSE/unit2\\Media\\Clip.SWF"),
            P("course/Unit2/media/clip.swf"));
  // What does not exist keeps its spelling below the folders that do.
  EXPECT_EQ(fs_.Resolve(root_ + "\\AUDIO\\New\\Take.MP3"), P("audio/New/Take.MP3"));
  EXPECT_EQ(fs_.Resolve(root_ + "/Audio/../AUDIO/./LESSON1.mp3"),
            P("audio/../audio/./lesson1.mp3"));
}

TEST_F(StdFileSystemResolve, PrefersTheExactNameThenByteOrder) {
  fs::create_directories(P("data"));
  fs::create_directories(P("Data"));
  fs::create_directories(P("dATA"));
  EXPECT_EQ(fs_.Resolve(P("dATA")), P("dATA"));
  EXPECT_EQ(fs_.Resolve(P("DATA")), P("Data"));
}

TEST_F(StdFileSystemResolve, FoldsNonAsciiLettersAndConvertsTheCodePage) {
  Put("Übung/Ärger.txt", "");
  EXPECT_EQ(fs_.Resolve(root_ + "\\übung\\äRGER.TXT"), P("Übung/Ärger.txt"));

  // In CP936 the second byte of 乗 is 0x5C: it must not split the name.
  Put("课程/乗/第一课.swf", "");
  text::CodePage gbk("CP936");
  StdFileSystem gbk_fs(gbk);
  EXPECT_EQ(gbk_fs.Resolve(root_ + "\\\xbf\xce\xb3\xcc\\\x81\x5c\\\xb5\xda\xd2\xbb\xbf\xce.SWF"),
            P("课程/乗/第一课.swf"));
}

using StdFileSystemFirstMatch = StdFileSystemTest;

TEST_F(StdFileSystemFirstMatch, WildcardsSeeDotEntriesFirstThenCaseInsensitiveOrder) {
  Put("d/B.txt", "");
  fs::create_directories(P("d/a.txt"));
  Put("d/README", "");
  Put("d/ab.dat", "");
  Put("f/a.txt", "");
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("f/*")));
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("F\\*.*")));
  EXPECT_TRUE(fs_.FirstMatchIsFile(P("f/*.txt")));
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("d/*.TXT")));  // "a.txt" (a folder) before "B.txt"
  EXPECT_TRUE(fs_.FirstMatchIsFile(P("d/b*.TXT")));
  EXPECT_TRUE(fs_.FirstMatchIsFile(P("d/readme.*")));
  EXPECT_TRUE(fs_.FirstMatchIsFile(P("d/??.DAT")));
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("d/?.DAT")));
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("d/*.swf")));
  EXPECT_FALSE(fs_.FirstMatchIsFile(P("missing/*.txt")));
}

TEST_F(StdFileSystemFirstMatch, PlainNamesAreLookedUpInAnyCase) {
  Put("Media/Clip.swf", "");
  EXPECT_TRUE(fs_.FirstMatchIsFile(root_ + "\\media\\CLIP.SWF"));
  EXPECT_FALSE(fs_.FirstMatchIsFile(root_ + "\\MEDIA"));
  EXPECT_FALSE(fs_.FirstMatchIsFile(root_ + "\\media\\other.swf"));
}

TEST_F(StdFileSystemTest, FoldersExistAndAreCreatedOneLevelAtATime) {
  fs::create_directories(P("Settings"));
  EXPECT_TRUE(fs_.DirectoryExists(root_ + "\\SETTINGS\\"));
  EXPECT_FALSE(fs_.DirectoryExists(P("Nothing")));
  EXPECT_TRUE(fs_.CreateDirectory(root_ + "\\settings\\User"));
  EXPECT_TRUE(fs::is_directory(P("Settings/User")));
  EXPECT_FALSE(fs_.CreateDirectory(P("SETTINGS/user")));
  EXPECT_FALSE(fs_.CreateDirectory(P("a/b")));
}

using StdFileSystemRead = StdFileSystemTest;

TEST_F(StdFileSystemRead, FirstLineRules) {
  const std::string long_line(10000, 'x');
  const std::vector<std::pair<std::string, std::string>> cases = {{"first\r\nsecond\r\n", "first"},
                                                                  {"first\nsecond", "first"},
                                                                  {"a\rb\rc\r\nd", "abc"},
                                                                  {"ab\x1a"
                                                                   "cd\n",
                                                                   "ab"},
                                                                  {"", ""},
                                                                  {"no break", "no break"},
                                                                  {"\r\n", ""},
                                                                  {long_line + "\r\nz", long_line}};
  for (const auto& [bytes, line] : cases) {
    Put("f.txt", bytes);
    EXPECT_EQ(fs_.ReadFirstLine(root_ + "\\F.TXT"), line) << "content: " << bytes.substr(0, 20);
  }
}

TEST_F(StdFileSystemRead, ErrorCodes) {
  Put("dir/file.txt", "x");
  EXPECT_EQ(CodeOf([&] { fs_.ReadFirstLine(P("dir/none.txt")); }), EInOutError::kFileNotFound);
  EXPECT_EQ(CodeOf([&] { fs_.ReadFirstLine(P("none/file.txt")); }), EInOutError::kPathNotFound);
  EXPECT_EQ(CodeOf([&] { fs_.ReadFirstLine(P("dir/file.txt/x")); }), EInOutError::kPathNotFound);
  EXPECT_EQ(CodeOf([&] { fs_.ReadFirstLine(P("DIR")); }), EInOutError::kAccessDenied);
}

TEST_F(StdFileSystemTest, PermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root may read and write files without permission";
  Put("locked.txt", "secret\r\n");
  Put("readonly.txt", "keep\r\n");
  chmod(P("locked.txt").c_str(), 0);
  chmod(P("readonly.txt").c_str(), 0444);
  EXPECT_EQ(CodeOf([&] { fs_.ReadFirstLine(P("locked.txt")); }), EInOutError::kAccessDenied);
  EXPECT_EQ(CodeOf([&] { fs_.WriteTextFile(P("readonly.txt"), "new"); }),
            EInOutError::kAccessDenied);
  EXPECT_EQ(Get("readonly.txt"), "keep\r\n");
}

TEST(StdFileSystemErrors, MapsErrnoToWindowsCodes) {
  EXPECT_EQ(StdFileSystem::ErrorCodeFromErrno(ENOENT, false), 2);
  EXPECT_EQ(StdFileSystem::ErrorCodeFromErrno(ENOENT, true), 3);
  const std::map<int, int> expected = {{ENOTDIR, 3},  {ENAMETOOLONG, 3}, {EMFILE, 4}, {ENFILE, 4},
                                       {EACCES, 5},   {EPERM, 5},        {EROFS, 5},  {EISDIR, 5},
                                       {ENOSPC, 101}, {EDQUOT, 101},     {EFBIG, 101}};
  for (int e = 1; e < 200; ++e) {
    if (e == ENOENT) continue;
    const int code = StdFileSystem::ErrorCodeFromErrno(e, true);
    if (expected.count(e)) {
      EXPECT_EQ(code, expected.at(e)) << "errno " << e;
    } else {  // nothing else may pass for one of the codes the shell tells apart
      EXPECT_TRUE(code != 2 && code != 3 && code != 4 && code != 5 && code != 100 && code != 101)
          << "errno " << e << " -> " << code;
    }
  }
}

using StdFileSystemWrite = StdFileSystemTest;

TEST_F(StdFileSystemWrite, CreatesAndReplacesWithCrLf) {
  fs::create_directories(P("Settings"));
  fs_.WriteTextFile(root_ + "\\SETTINGS\\user.ini", "a=1");
  EXPECT_EQ(Get("Settings/user.ini"), "a=1\r\n");
  // The old file's permission bits survive, even those the umask would take away.
  chmod(P("Settings/user.ini").c_str(), 0666);
  const mode_t old_umask = umask(022);
  fs_.WriteTextFile(root_ + "\\settings\\USER.INI", "b");
  umask(old_umask);
  EXPECT_EQ(Get("Settings/user.ini"), "b\r\n");
  EXPECT_EQ(fs::status(P("Settings/user.ini")).permissions(), fs::perms(0666));
  EXPECT_EQ(List("Settings"), std::vector<std::string>{"user.ini"});
}

TEST_F(StdFileSystemWrite, WritesThroughASymbolicLink) {
  Put("real.ini", "old\r\n");
  fs::create_symlink("real.ini", P("link.ini"));
  fs_.WriteTextFile(P("LINK.ini"), "new");
  EXPECT_TRUE(fs::is_symlink(P("link.ini")));
  EXPECT_EQ(Get("real.ini"), "new\r\n");
  EXPECT_EQ(List(), (std::vector<std::string>{"link.ini", "real.ini"}));
}

TEST_F(StdFileSystemWrite, FailuresLeaveNoTrace) {
  fs::create_directories(P("folder/inner"));
  EXPECT_EQ(CodeOf([&] { fs_.WriteTextFile(P("folder"), "x"); }), EInOutError::kAccessDenied);
  EXPECT_TRUE(fs::is_directory(P("folder/inner")));
  EXPECT_EQ(CodeOf([&] { fs_.WriteTextFile(P("none/a.txt"), "x"); }), EInOutError::kPathNotFound);
  EXPECT_EQ(List(), std::vector<std::string>{"folder"});
}

TEST_F(StdFileSystemWrite, DiskFullKeepsTheOldContent) {
  Put("user.ini", "old\r\n");
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1024;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    const int code = CodeOf([&] { fs_.WriteTextFile(P("user.ini"), std::string(64 * 1024, 'x')); });
    if (code != EInOutError::kDiskFull) _exit(11);
    if (Get("user.ini") != "old\r\n") _exit(12);
    if (List() != std::vector<std::string>{"user.ini"}) _exit(13);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 no limit, 11 wrong code, 12 content, 13 temp file";
  EXPECT_EQ(Get("user.ini"), "old\r\n");
  EXPECT_EQ(List(), std::vector<std::string>{"user.ini"});
}

}  // namespace
}  // namespace qm
