#include "platform/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "posix/std_file_system.h"
#include "text/codepage.h"

namespace qm {
namespace {

TEST(PathHelpers, SplitAtEitherSeparator) {
  EXPECT_EQ(ToNativeSeparators("a\\b/c\\"), "a/b/c/");
  EXPECT_EQ(ExtractFilePath("C:\\Course/media\\clip.swf"), "C:\\Course/media\\");
  EXPECT_EQ(ExtractFileName("C:\\Course/media\\clip.swf"), "clip.swf");
  EXPECT_EQ(ExtractFilePath("a/b\\"), "a/b\\");
  EXPECT_EQ(ExtractFileName("a/b\\"), "");
  EXPECT_EQ(ExtractFilePath("clip.swf"), "");
  EXPECT_EQ(ExtractFileName("clip.swf"), "clip.swf");
  EXPECT_EQ(ExcludeTrailingSeparator("a\\b\\"), "a\\b");
  EXPECT_EQ(ExcludeTrailingSeparator("a/b//"), "a/b/");
  EXPECT_EQ(ExcludeTrailingSeparator("a/b"), "a/b");
  EXPECT_EQ(ExcludeTrailingSeparator(""), "");
}

// Folders as plain strings; CreateDirectory needs the parent and fails on anything there.
class FakeFileSystem : public IFileSystem {
 public:
  std::set<std::string> dirs, files;
  std::vector<std::string> created;
  bool appears_anyway = false;  // another process creates the folder first

  bool FirstMatchIsFile(std::string_view) override { return false; }
  bool DirectoryExists(std::string_view path) override { return dirs.count(std::string(path)); }
  bool CreateDirectory(std::string_view path) override {
    const std::string p(path);
    created.push_back(p);
    if (appears_anyway) dirs.insert(p);
    if (appears_anyway || files.count(p) || dirs.count(p)) return false;
    if (!dirs.count(ExcludeTrailingSeparator(ExtractFilePath(p)))) return false;
    return dirs.insert(p).second;
  }
  std::string ReadFirstLine(std::string_view) override { return {}; }
  void WriteTextFile(std::string_view, std::string_view) override {}
  void WriteBinaryFile(std::string_view, std::string_view) override {}
  std::string ReadBinaryFile(std::string_view) override { return {}; }
  std::unique_ptr<IFileReplacement> BeginReplace(std::string_view) override { return nullptr; }
  bool CopyFile(std::string_view, std::string_view, bool) override { return false; }
  bool DeleteFile(std::string_view) override { return false; }
  // Folders are all ForceDirectories asks about.
  std::string NativePath(std::string_view path) const override { return std::string(path); }
  std::string FindOnDisk(std::string_view path) const override { return std::string(path); }
  std::string FindNative(const std::string& path) const override { return path; }
  std::vector<std::string> FolderPlaces(const std::string& folder) const override {
    return {folder};
  }
  bool ListFolder(const std::string&, FolderEntries, std::vector<std::string>&,
                  bool) const override {
    return false;
  }
  bool CanOpenFolder(const std::string& folder) const override { return dirs.count(folder) > 0; }
  bool HasSubfolder(const std::string&) const override { return false; }
  bool RenameEntry(const std::string&, const std::string&) override { return false; }
};

TEST(ForceDirectories, CreatesMissingLevelsTopDown) {
  FakeFileSystem fs;
  fs.dirs = {"/r"};
  EXPECT_TRUE(ForceDirectories(fs, "/r/a\\b/c\\"));
  EXPECT_EQ(fs.created, (std::vector<std::string>{"/r/a", "/r/a\\b", "/r/a\\b/c"}));
}

TEST(ForceDirectories, CountsExistingShortAndRootPathsAsCreated) {
  FakeFileSystem fs;
  fs.dirs = {"/r/a"};
  EXPECT_TRUE(ForceDirectories(fs, "/r/a/"));
  EXPECT_TRUE(ForceDirectories(fs, "ab"));
  EXPECT_TRUE(ForceDirectories(fs, "/a"));
  EXPECT_TRUE(ForceDirectories(fs, "////"));
  EXPECT_TRUE(fs.created.empty());
}

TEST(ForceDirectories, StopsAtTheFirstFailure) {
  FakeFileSystem fs;
  fs.dirs = {"/r"};
  fs.files = {"/r/a"};
  EXPECT_FALSE(ForceDirectories(fs, "/r/a/b/c"));
  EXPECT_EQ(fs.created, std::vector<std::string>{"/r/a"});
}

TEST(ForceDirectories, AcceptsAFolderThatAppearedMeanwhile) {
  FakeFileSystem fs;
  fs.dirs = {"/r"};
  fs.appears_anyway = true;
  EXPECT_TRUE(ForceDirectories(fs, "/r/a/b"));
  EXPECT_EQ(fs.created.size(), 2u);
}

TEST(ForceDirectories, OnTheRealFileSystem) {
  char templ[] = "/tmp/qm_paths_XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const std::string root = templ;
  text::CodePage utf8("UTF-8");
  StdFileSystem fs(utf8);

  EXPECT_TRUE(ForceDirectories(fs, root + "\\one\\two\\"));
  EXPECT_TRUE(std::filesystem::is_directory(root + "/one/two"));
  EXPECT_TRUE(ForceDirectories(fs, root + "/ONE/two"));

  std::ofstream(root + "/file") << "x";
  EXPECT_FALSE(ForceDirectories(fs, root + "/file/sub"));
  EXPECT_TRUE(std::filesystem::is_regular_file(root + "/file"));
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(PathsDoubleByteTest, TrailBytesThatLookLikeSeparatorsAreNotSeparators) {
  text::SetAnsiCodePage("CP936");
  // "乗" is 81 5C in CP936: its second byte has the value of "\".
  const std::string name = "a\\\x81\x5C.txt";
  EXPECT_EQ(ExtractFilePath(name), "a\\");
  EXPECT_EQ(ExtractFileName(name), "\x81\x5C.txt");
  EXPECT_EQ(ExcludeTrailingSeparator("dir\\\x81\x5C"), "dir\\\x81\x5C");
  EXPECT_EQ(ToNativeSeparators("x\\\x81\x5C\\y"), std::string("x/\x81\x5C/y"));
  text::SetAnsiCodePage("UTF-8");
}

}  // namespace
}  // namespace qm
