// A course played over the learner's layer, end to end in one Qt host: the course's
// files in whatever letter case the movie writes, and the learner's own files beside
// them, reach the movie through its own loads (the qm scheme) and through the picker,
// exactly as the shell's file services find them. The course folder is never written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/course_shell.h"
#include "headless/scripted_ports.h"
#include "posix/learner_layer.h"
#include "posix/std_file_system.h"
#include "qt/flash_widget.h"
#include "qt/open_dialog_window.h"
#include "qt/qt_loop.h"
#include "qt/qt_shell_views.h"
#include "qt/qt_window_system.h"
#include "qt/resource_windows.h"
#include "resources/resource_forms.h"
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

TEST(CourseLayerE2e, TheLearnersOwnResourceIsPickedBesideTheCourses) {
  LayeredCourse course("qm-layer-pick-e2e");
  course.Put(course.Course() / "lesson3/resource/song.mp3", "s");
  fs::copy_file(QM_MOVIES_DIR "/resource_pick.swf", course.Course() / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", course.Course() / "version.swf");
  const std::string app_dir = course.Course().string() + "/";
  headless::Journal journal;
  qt::FlashWidget flash1{qt::FlashWidget::Scale::kNoScaleTopLeft};
  qt::FlashWidget flashversion{qt::FlashWidget::Scale::kShowAll};
  headless::ScriptedDialogs dialogs{journal};
  headless::RecordingShell shell{journal};
  headless::ScriptedProcess process{journal};
  shell.special_folders[kCsidlCommonAppData] = (course.Base() / "appdata").string();
  StdFileSystem files{text::Ansi()};
  // What the resource manager does when the learner adds a file of their own.
  course.Put(course.Base() / "mine.mp3", "m");
  ASSERT_TRUE(files.CopyFile((course.Base() / "mine.mp3").string(),
                             app_dir + "lesson3/resource/mine.mp3", true));
  const auto before = Snapshot(course.Course());

  qt::QtWindowSystem windows(dialogs, "quillmere");
  CourseShell shell_of_course({flash1, flashversion, windows, dialogs, shell, files, process},
                              app_dir, "quillmere");
  TForm1& form = shell_of_course.Form1;
  qt::QtOpenDialogs browser(form.Boundary(), files, &flash1);
  const qt::ResourceWindowServices services{dialogs,         browser, files,       shell,
                                            form.Boundary(), app_dir, "quillmere", &flash1};
  qt::ResourceWindows resource_windows(
      windows, shell_of_course.Form3, shell_of_course.Form6, services,
      [&form](const std::string& f, const std::string& a, const std::string& b) {
        return form.CallMovieFunction(f, a, b);
      });
  std::vector<std::string> picked, listed;
  flash1.OnFSCommand([&](const std::u16string& command, const std::u16string& arg) {
    if (command == u"picked") {
      picked.push_back(U8(arg));
      return;
    }
    form.Boundary().Run([&] { form.flash1FSCommand(command, arg); });
  });
  flash1.OnFlashCall([&](const std::u16string& request) {
    form.Boundary().Run([&] { form.flash1FlashCall(request); });
  });
  QTimer user;
  user.setInterval(50);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* picker = qobject_cast<qt::ResourcePickerWindow*>(QApplication::activeModalWidget());
    if (picker == nullptr || !picker->isVisible()) return;
    user.stop();
    picker->PageControl().setCurrentIndex(0);
    listed = picker->bsSkinFileListView1().Names();
    EXPECT_TRUE(picker->bsSkinFileListView1().SelectName("mine.mp3"));
    QTest::mouseClick(picker->findChild<QPushButton*>("bsSkinButton1"), Qt::LeftButton);
  });
  user.start();
  flash1.resize(400, 200);
  flash1.show();
  form.Boundary().Run([&] { form.FormCreate(); });
  ASSERT_TRUE(testing::QtLoop::RunUntil([&] { return !picked.empty(); }, 90000))
      << "the movie heard nothing";
  EXPECT_EQ(listed, (std::vector<std::string>{"mine.mp3", "song.mp3"}));
  EXPECT_EQ(picked, std::vector<std::string>{"selectedover|/lesson3/resource/mine.mp3"});
  EXPECT_EQ(files.ReadBinaryFile(app_dir + "lesson3/resource/mine.mp3"), "m");
  EXPECT_EQ(Snapshot(course.Course()), before);
}

}  // namespace
}  // namespace qm
