#include "posix/learner_layer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "posix/std_file_system.h"
#include "text/codepage.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// A course "Course" beside a learner's data folder "data"; the course is read as shipped
// and every write below it must land in the learner's layer.
class LearnerLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/qm_layer_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    Put("Course/Lesson1/Words.txt", "course words\r\n");
    Put("Course/main.swf", "FWS");
    Put("Course/resources/Songs/a.mp3", "a");
    course_ = root_ + "/Course/";
    layer_ = LearnerLayer{course_, LearnerLayerFolder(course_, root_ + "/data")};
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void Put(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(fs::path(root_ + "/" + relative).parent_path());
    std::ofstream(root_ + "/" + relative, std::ios::binary) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
  }
  std::map<std::string, std::string> CourseFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(course_)) {
      files[e.path().string()] = e.is_directory() ? "<folder>" : Get(e.path());
    }
    return files;
  }

  std::string root_, course_;
  LearnerLayer layer_;
  text::CodePage utf8_{"UTF-8"};
};

TEST_F(LearnerLayerTest, FolderIsPerCourseAndStable) {
  const std::string a = LearnerLayerFolder("/srv/Course/", "/home/ann/.local/share");
  EXPECT_EQ(a, LearnerLayerFolder("/srv/Course", "/home/ann/.local/share"));
  EXPECT_EQ(a.rfind("/home/ann/.local/share/quillmere/courses/Course-", 0), 0u) << a;
  EXPECT_EQ(a.back(), '/');
  EXPECT_NE(a, LearnerLayerFolder("/media/cdrom/Course/", "/home/ann/.local/share"));
  EXPECT_FALSE(LayerForCourse("/srv/Course/", "", true).has_value());
  EXPECT_TRUE(LayerForCourse(course_, root_ + "/data", true).has_value());
}

TEST_F(LearnerLayerTest, PathsBelowTheCourseOnly) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {course_ + "a/b.txt", "a/b.txt"},
      {course_ + "a/./c/../b.txt", "a/b.txt"},
      {course_, ""},
      {root_ + "/Course", ""},
      {course_ + "../data/x", std::nullopt},
      {root_ + "/CourseX/a", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {course_ + "a//b", "a/b"},
  };
  for (const auto& [path, relative] : cases) {
    EXPECT_EQ(PathInCourse(layer_, path), relative) << path;
  }
}

TEST_F(LearnerLayerTest, WritesGoToTheLayerAndReadsSeeThemFirst) {
  const auto before = CourseFiles();
  StdFileSystem files(utf8_, layer_);
  // Shipped files read as they are, in any case and with "\".
  EXPECT_EQ(files.ReadFirstLine(course_ + "LESSON1\\words.TXT"), "course words");
  // A save over a course file, in another case: the learner's copy, named as the course
  // names it, and what every later read sees.
  files.WriteTextFile(course_ + "lesson1/WORDS.txt", "mine");
  EXPECT_EQ(Get(layer_.layer + "Lesson1/Words.txt"), "mine\r\n");
  EXPECT_EQ(files.ReadFirstLine(course_ + "Lesson1/Words.txt"), "mine");
  EXPECT_TRUE(files.FirstMatchIsFile(course_ + "lesson1/*.txt"));
  // New folders and files, and folders made on the way where the course has them.
  EXPECT_TRUE(files.CreateDirectory(course_ + "notes"));
  EXPECT_FALSE(files.CreateDirectory(course_ + "notes"));
  EXPECT_FALSE(files.CreateDirectory(course_ + "LESSON1"));  // the course has it
  EXPECT_FALSE(files.CreateDirectory(course_ + "a/b"));      // no parent anywhere
  EXPECT_TRUE(files.DirectoryExists(course_ + "notes"));
  EXPECT_TRUE(files.DirectoryExists(course_ + "resources/songs"));
  files.WriteBinaryFile(course_ + "resources/songs/Temp.wav", "RIFF");
  EXPECT_EQ(Get(layer_.layer + "resources/Songs/Temp.wav"), "RIFF");
  EXPECT_EQ(files.ReadBinaryFile(course_ + "Resources/Songs/temp.wav"), "RIFF");
  // A write outside the course is not redirected, nor one that climbs out of it.
  files.WriteBinaryFile(root_ + "/outside.txt", "x");
  EXPECT_EQ(Get(root_ + "/outside.txt"), "x");
  // Copies: an existing name in either counts as taken.
  Put("picked.mp3", "p");
  EXPECT_FALSE(files.CopyFile(root_ + "/picked.mp3", course_ + "resources/Songs/A.MP3", true));
  EXPECT_TRUE(files.CopyFile(root_ + "/picked.mp3", course_ + "resources/Songs/b.mp3", true));
  EXPECT_EQ(Get(layer_.layer + "resources/Songs/b.mp3"), "p");
  // The learner's own file can be deleted; then the course's shows again.
  EXPECT_TRUE(files.DeleteFile(course_ + "Lesson1/Words.txt"));
  EXPECT_EQ(files.ReadFirstLine(course_ + "Lesson1/Words.txt"), "course words");
  EXPECT_EQ(CourseFiles(), before);
}

TEST_F(LearnerLayerTest, ListingsJoinBothFoldersOnce) {
  StdFileSystem files(utf8_, layer_);
  files.WriteBinaryFile(course_ + "resources/songs/A.mp3", "mine");
  files.WriteBinaryFile(course_ + "resources/songs/c.mp3", "c");
  std::vector<std::string> names;
  EXPECT_TRUE(files.ListFolder(course_ + "resources/Songs", FolderEntries::kVisibleFiles, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.mp3", "c.mp3"}));
  EXPECT_TRUE(files.CanOpenFolder(course_ + "resources/songs"));
  EXPECT_TRUE(files.HasSubfolder(course_ + "resources"));
  // A category only the learner has.
  EXPECT_TRUE(files.CreateDirectory(course_ + "resources/Mine"));
  EXPECT_TRUE(files.CanOpenFolder(course_ + "resources/Mine"));
  EXPECT_FALSE(StdFileSystem(utf8_, std::nullopt).CanOpenFolder(course_ + "resources/Mine"));
}

TEST_F(LearnerLayerTest, TwoLearnersNeverShareALayer) {
  const LearnerLayer other{course_, LearnerLayerFolder(course_, root_ + "/other")};
  StdFileSystem mine(utf8_, layer_), theirs(utf8_, other);
  mine.WriteTextFile(course_ + "progress.txt", "lesson 3");
  EXPECT_FALSE(theirs.FirstMatchIsFile(course_ + "progress.txt"));
  EXPECT_EQ(mine.ReadFirstLine(course_ + "progress.txt"), "lesson 3");
  struct stat st;
  ASSERT_EQ(::stat(layer_.layer.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);  // the layer is the learner's alone
}

}  // namespace
}  // namespace qm
