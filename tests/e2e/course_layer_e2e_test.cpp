// A course played over the learner's layer, end to end in one Qt host: the course's
// files in whatever letter case the movie writes, and the learner's own files beside
// them, reach the movie through its own loads (the qm scheme) exactly as the shell's
// file services find them. The course folder is never written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "posix/learner_layer.h"
#include "qt/flash_widget.h"
#include "qt/qt_loop.h"
#include "text/codepage.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string U8(const std::u16string& s) {
  return QString::fromStdU16String(s).toStdString();
}

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::ostringstream bytes;
    if (!entry.is_directory()) bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    files[entry.path().string()] = entry.is_directory() ? "<folder>" : bytes.str();
  }
  return files;
}

// A course folder and a learner's layer over it, in use for the whole process as the
// program's start sets it up.
class LayeredCourse {
 public:
  explicit LayeredCourse(const std::string& name) {
    text::SetAnsiCodePage("UTF-8");
    base_ = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(Course());
    fs::create_directories(base_ / "appdata");
    layer_ = LearnerLayer{Course().string() + "/",
                          LearnerLayerFolder(Course().string(), (base_ / "data").string())};
    UseLearnerLayer(layer_);
  }
  ~LayeredCourse() {
    UseLearnerLayer(std::nullopt);
    if (!::testing::Test::HasFailure()) fs::remove_all(base_);
  }
  fs::path Course() const { return base_ / "course"; }
  fs::path Base() const { return base_; }
  const LearnerLayer& Layer() const { return layer_; }
  void Put(const fs::path& path, const std::string& bytes) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

 private:
  fs::path base_;
  LearnerLayer layer_;
};

// A 1x1 PNG.
const std::string kPicture(
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\r"
    "IDATx\x9c\x63\xf8\xcf\xc0\xf0\x1f\0\x05\0\x01\xff\x89\x99=\x1d\0\0\0\0IEND\xae\x42`\x82",
    69);

TEST(CourseLayerE2e, TheMoviesOwnLoadsFindFilesInAnyCaseAndTheLearnersFirst) {
  LayeredCourse course("qm-layer-loads-e2e");
  fs::create_directories(course.Course() / "lesson1");
  fs::copy_file(QM_MOVIES_DIR "/case_loads.swf", course.Course() / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", course.Course() / "lesson1/intro.swf");
  course.Put(course.Course() / "lesson1/words.xml", "<words>apple</words>\n");
  course.Put(course.Course() / "lesson1/picture.png", kPicture);
  course.Put(course.Course() / "lesson1/progress.txt", "shipped");
  course.Put(course.Layer().layer + "Lesson1/PROGRESS.txt", "lesson 3");
  const auto before = Snapshot(course.Course());

  qt::FlashWidget flash{qt::FlashWidget::Scale::kNoScaleTopLeft};
  std::map<std::string, std::string> loaded;
  flash.OnFSCommand([&](const std::u16string& command, const std::u16string& arg) {
    if (command != u"loaded") return;
    const std::string text = U8(arg);
    loaded[text.substr(0, text.find('|'))] = text.substr(text.find('|') + 1);
  });
  flash.resize(320, 240);
  flash.show();
  flash.SetMovie((course.Course() / "main.swf").u16string());
  ASSERT_TRUE(testing::QtLoop::RunUntil([&] { return loaded.size() == 5; }, 90000))
      << loaded.size() << " of 5 loads reported";
  EXPECT_EQ(loaded["xml"], "ok:<words>apple</words>");
  EXPECT_EQ(loaded["movie"], "ok:application/x-shockwave-flash");
  EXPECT_EQ(loaded["picture"].rfind("ok:image/png", 0), 0u) << loaded["picture"];
  EXPECT_EQ(loaded["learner"], "ok:lesson 3");
  EXPECT_EQ(loaded["missing"], "failed");
  EXPECT_EQ(Snapshot(course.Course()), before);
}

}  // namespace
}  // namespace qm
