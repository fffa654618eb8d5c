#include "win32/win32_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "text/codepage.h"
#include "win32/windows_api.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Each test works in a folder of its own below the system's temporary folder, named in
// ANSI (CP936) for the file layer and as a std::filesystem path for the checks.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    root_ = fs::path(temp) / ("qm_fs_" + std::to_string(::GetCurrentProcessId()) + "_" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    ASSERT_TRUE(fs::create_directories(root_));
    const std::wstring wide = root_.wstring();
    root_ansi_ = gbk_.FromUtf16(std::u16string(wide.begin(), wide.end()));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The ANSI path of `relative` ("\" separated, CP936 bytes).
  std::string A(const std::string& relative) const { return root_ansi_ + "\\" + relative; }
  fs::path P(const std::u8string& relative) const {
    return relative.empty() ? root_ : root_ / fs::path(relative);
  }
  void Put(const std::u8string& relative, const std::string& bytes) const {
    fs::create_directories(P(relative).parent_path());
    std::ofstream(P(relative), std::ios::binary) << bytes;
  }
  std::string Get(const std::u8string& relative) const {
    std::ostringstream out;
    out << std::ifstream(P(relative), std::ios::binary).rdbuf();
    return out.str();
  }
  std::vector<std::string> Names(const std::u8string& relative, FolderEntries wanted) const {
    std::vector<std::string> names;
    EXPECT_TRUE(files_.ListFolder(Native(relative), wanted, names));
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Native(const std::u8string& relative) const {
    const std::u8string utf8 = P(relative).u8string();
    return std::string(utf8.begin(), utf8.end());
  }
  static void SetAttributes(const fs::path& path, DWORD attributes) {
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), attributes));
  }
  // The EInOutError code raised by `action`, or -1 when it raises none.
  static int CodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EInOutError& e) {
      return e.Code();
    }
    return -1;
  }

  text::CodePage gbk_{"CP936"};
  Win32FileSystem files_{gbk_};
  fs::path root_;
  std::string root_ansi_;
};

TEST_F(Win32FileSystemTest, FailuresCarryTheSystemsOwnCodes) {
  Put(u8"folder/readonly.txt", "old");
  SetAttributes(P(u8"folder/readonly.txt"), FILE_ATTRIBUTE_READONLY);
  struct Case {
    const char* what;
    std::function<void(Win32FileSystem&, const std::string& root)> action;
    int code;
  };
  const Case cases[] = {
      {"read a missing file", [](auto& f, auto& r) { f.ReadFirstLine(r + "\\none.txt"); }, 2},
      {"read in a missing folder",
       [](auto& f, auto& r) { f.ReadBinaryFile(r + "\\nowhere\\a.txt"); }, 3},
      {"read a folder", [](auto& f, auto& r) { f.ReadFirstLine(r + "\\folder"); }, 5},
      {"write in a missing folder",
       [](auto& f, auto& r) { f.WriteTextFile(r + "\\nowhere\\a.txt", "x"); }, 3},
      {"write over a folder", [](auto& f, auto& r) { f.WriteBinaryFile(r + "\\folder", "x"); }, 5},
      {"write over a read-only file",
       [](auto& f, auto& r) { f.WriteTextFile(r + "\\folder\\readonly.txt", "new"); }, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodeOf([&] { c.action(files_, root_ansi_); }), c.code) << c.what;
  }
  EXPECT_EQ(Get(u8"folder/readonly.txt"), "old");
  SetAttributes(P(u8"folder/readonly.txt"), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FileSystemTest, FirstLineEndsAtLineFeedOrEndOfFileMark) {
  const struct {
    std::string bytes;
    std::string line;
  } cases[] = {
      {"one\r\ntwo\r\n", "one"}, {"a\rb\nc", "ab"}, {"x\x1Ay\n", "x"}, {"last", "last"}, {"", ""},
  };
  for (const auto& c : cases) {
    Put(u8"f.txt", c.bytes);
    EXPECT_EQ(files_.ReadFirstLine(A("f.txt")), c.line) << c.bytes;
  }
}

TEST_F(Win32FileSystemTest, WritesReplaceTheWholeFileAndLeaveNothingBeside) {
  files_.WriteTextFile(A("a.txt"), "first");
  EXPECT_EQ(Get(u8"a.txt"), "first\r\n");
  files_.WriteBinaryFile(A("A.TXT"), std::string("\0\1", 2));  // the same file, any case
  EXPECT_EQ(files_.ReadBinaryFile(A("a.txt")), std::string("\0\1", 2));
  EXPECT_EQ(Names(u8"", FolderEntries::kAll), std::vector<std::string>{"a.txt"});
}

TEST_F(Win32FileSystemTest, ReplacementTakesEffectOnlyOnCommit) {
  Put(u8"hidden.sav", "old");
  SetAttributes(P(u8"hidden.sav"), FILE_ATTRIBUTE_HIDDEN);
  {
    const auto replacement = files_.BeginReplace(A("hidden.sav"));
    replacement->Write("abandoned");
  }
  EXPECT_EQ(Get(u8"hidden.sav"), "old");
  const auto replacement = files_.BeginReplace(A("hidden.sav"));
  replacement->Write("new ");
  replacement->Write("content");
  EXPECT_EQ(Get(u8"hidden.sav"), "old");
  replacement->Commit();
  EXPECT_EQ(Get(u8"hidden.sav"), "new content");
  // The file replaced keeps its attributes.
  EXPECT_NE(::GetFileAttributesW(P(u8"hidden.sav").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Names(u8"", FolderEntries::kAll), std::vector<std::string>{"hidden.sav"});
}

TEST_F(Win32FileSystemTest, CopyHonoursFailIfExistsAndLeavesNoPartialTarget) {
  Put(u8"from.txt", "source");
  Put(u8"to.txt", "target");
  fs::create_directories(P(u8"folder"));
  EXPECT_FALSE(files_.CopyFile(A("from.txt"), A("to.txt"), true));
  EXPECT_EQ(Get(u8"to.txt"), "target");
  EXPECT_TRUE(files_.CopyFile(A("from.txt"), A("to.txt"), false));
  EXPECT_EQ(Get(u8"to.txt"), "source");
  EXPECT_TRUE(files_.CopyFile(A("FROM.txt"), A("new.txt"), true));
  EXPECT_EQ(Get(u8"new.txt"), "source");
  EXPECT_FALSE(files_.CopyFile(A("missing.txt"), A("other.txt"), false));
  EXPECT_FALSE(files_.CopyFile(A("folder"), A("other.txt"), false));
  EXPECT_FALSE(files_.CopyFile(A("from.txt"), A("folder"), false));
  EXPECT_FALSE(files_.CopyFile(A("from.txt"), A("nowhere\\x.txt"), false));
  EXPECT_EQ(Names(u8"", FolderEntries::kAll),
            (std::vector<std::string>{"folder", "from.txt", "new.txt", "to.txt"}));
}

TEST_F(Win32FileSystemTest, DeleteRemovesFilesButNotFolders) {
  Put(u8"gone.txt", "");
  fs::create_directories(P(u8"kept"));
  EXPECT_TRUE(files_.DeleteFile(A("GONE.TXT")));
  EXPECT_FALSE(fs::exists(P(u8"gone.txt")));
  EXPECT_FALSE(files_.DeleteFile(A("gone.txt")));
  EXPECT_FALSE(files_.DeleteFile(A("kept")));
  EXPECT_TRUE(fs::is_directory(P(u8"kept")));
}

TEST_F(Win32FileSystemTest, FoldersAreFoundAndCreatedOneLevelAtATime) {
  EXPECT_TRUE(files_.CreateDirectory(A("Settings")));
  EXPECT_FALSE(files_.CreateDirectory(A("SETTINGS")));
  EXPECT_FALSE(files_.CreateDirectory(A("a\\b")));
  EXPECT_TRUE(files_.DirectoryExists(A("settings\\")));
  EXPECT_FALSE(files_.DirectoryExists(A("nothing")));
}

TEST_F(Win32FileSystemTest, FirstMatchIsFileFollowsTheSearchPattern) {
  Put(u8"d/lesson.txt", "");
  Put(u8"d/ab.dat", "");
  fs::create_directories(P(u8"d/media"));
  const struct {
    const char* pattern;
    bool is_file;
  } cases[] = {
      {"d\\*.TXT", true}, {"d\\LESSON.txt", true}, {"d\\??.dat", true}, {"d\\?.dat", false},
      {"d\\med*", false}, {"d\\media", false},     {"d\\*.swf", false}, {"none\\*.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(files_.FirstMatchIsFile(A(c.pattern)), c.is_file) << c.pattern;
  }
}

TEST_F(Win32FileSystemTest, VisibleListingsLeaveDotNamesAndHiddenEntriesOut) {
  Put(u8"visible.txt", "");
  Put(u8".dot.txt", "");
  Put(u8"hidden.txt", "");
  fs::create_directories(P(u8"folder"));
  fs::create_directories(P(u8".dotfolder"));
  fs::create_directories(P(u8"hiddenfolder"));
  SetAttributes(P(u8"hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(P(u8"hiddenfolder"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);

  EXPECT_EQ(Names(u8"", FolderEntries::kAll),
            (std::vector<std::string>{".dot.txt", ".dotfolder", "folder", "hidden.txt",
                                      "hiddenfolder", "visible.txt"}));
  EXPECT_EQ(Names(u8"", FolderEntries::kVisibleFiles), std::vector<std::string>{"visible.txt"});
  EXPECT_EQ(Names(u8"", FolderEntries::kVisibleFolders), std::vector<std::string>{"folder"});
  std::vector<std::string> first;
  EXPECT_TRUE(files_.ListFolder(Native(u8""), FolderEntries::kAll, first, true));
  EXPECT_EQ(first.size(), 1u);

  EXPECT_TRUE(files_.HasSubfolder(Native(u8"")));
  EXPECT_FALSE(files_.HasSubfolder(Native(u8"folder")));
  EXPECT_TRUE(files_.CanOpenFolder(Native(u8"folder")));
  EXPECT_FALSE(files_.CanOpenFolder(Native(u8"missing")));
  EXPECT_FALSE(files_.CanOpenFolder(""));
  std::vector<std::string> none;
  EXPECT_FALSE(files_.ListFolder(Native(u8"missing"), FolderEntries::kAll, none));
  EXPECT_TRUE(none.empty());
}

TEST_F(Win32FileSystemTest, RenameRefusesAnExistingName) {
  Put(u8"a.txt", "a");
  Put(u8"b.txt", "b");
  EXPECT_FALSE(files_.RenameEntry(Native(u8"a.txt"), Native(u8"b.txt")));
  EXPECT_FALSE(files_.RenameEntry(Native(u8"a.txt"), Native(u8"B.TXT")));
  EXPECT_EQ(Get(u8"b.txt"), "b");
  EXPECT_TRUE(files_.RenameEntry(Native(u8"a.txt"), Native(u8"c.txt")));
  EXPECT_EQ(Get(u8"c.txt"), "a");
  EXPECT_FALSE(fs::exists(P(u8"a.txt")));
}

TEST_F(Win32FileSystemTest, NonAsciiNamesGoThroughTheCodePage) {
  // 课程\乗\第一课.swf in CP936; the second byte of 乗 is 0x5C, a "\" on its own.
  const std::string folder = "\xbf\xce\xb3\xcc\\\x81\x5c";
  const std::string file = folder + "\\\xb5\xda\xd2\xbb\xbf\xce.swf";
  Put(u8"课程/乗/.keep", "");
  files_.WriteTextFile(A(file), "movie");
  EXPECT_EQ(Get(u8"课程/乗/第一课.swf"), "movie\r\n");
  EXPECT_EQ(files_.ReadFirstLine(A(file)), "movie");
  EXPECT_TRUE(files_.DirectoryExists(A(folder)));
  EXPECT_EQ(Names(u8"课程/乗", FolderEntries::kVisibleFiles),
            std::vector<std::string>{reinterpret_cast<const char*>(u8"第一课.swf")});

  // Native paths: the ANSI path in UTF-8, as written; without a learner's layer a read
  // finds it there too.
  const std::string native = files_.NativePath(A(file));
  EXPECT_EQ(native, Native(u8"") + "\\" + reinterpret_cast<const char*>(u8"课程\\乗\\第一课.swf"));
  EXPECT_EQ(files_.FindOnDisk(A(file)), native);
  EXPECT_EQ(files_.FindNative(native), native);
  EXPECT_EQ(files_.FolderPlaces(Native(u8"课程")), std::vector<std::string>{Native(u8"课程")});
}

}  // namespace
}  // namespace qm
