// The resource picker end to end: a real movie on the Flash control asks for the picker
// with "selectresource", the user picks a file in the picker's window, and the movie's
// callback hears "selectedover" with the path relative to the program folder; also over
// the learner's layer of a course.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
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

bool RunUntil(const std::function<bool()>& done, int guard_ms = 90000) {
  return testing::QtLoop::RunUntil(done, guard_ms);
}

std::string U8(const std::u16string& s) {
  return QString::fromStdU16String(s).toStdString();
}

// What the picker shows and the movie hears: the movie of `dir` asks for the picker on
// "lesson3/resource", and the user picks `name` there.
struct Picked {
  std::vector<std::string> listed;  // the names the picker's list shows
  std::vector<std::string> heard;   // the movie's callback, "event|path"
  std::string course_root;          // TForm6.CourseResourceRoot
};

Picked PickInCourse(const fs::path& dir, const std::string& name) {
  fs::copy_file(QM_MOVIES_DIR "/resource_pick.swf", dir / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", dir / "version.swf");
  fs::create_directories(dir / "appdata");
  const std::string app_dir = dir.string() + "/";

  headless::Journal journal;
  qt::FlashWidget flash1{qt::FlashWidget::Scale::kNoScaleTopLeft};
  qt::FlashWidget flashversion{qt::FlashWidget::Scale::kShowAll};
  headless::ScriptedDialogs dialogs{journal};
  headless::RecordingShell shell{journal};
  headless::ScriptedProcess process{journal};
  shell.special_folders[kCsidlCommonAppData] = (dir / "appdata").string();
  StdFileSystem files{text::Ansi()};
  qt::QtWindowSystem windows(dialogs, "quillmere");
  CourseShell course({flash1, flashversion, windows, dialogs, shell, files, process}, app_dir,
                     "quillmere");
  TForm1& form = course.Form1;
  qt::QtOpenDialogs browser(form.Boundary(), files, &flash1);
  const qt::ResourceWindowServices services{dialogs,         browser, files,       shell,
                                            form.Boundary(), app_dir, "quillmere", &flash1};
  // As the program makes them: built when the movie first asks.
  qt::ResourceWindows resource_windows(
      windows, course.Form3, course.Form6, services,
      [&form](const std::string& f, const std::string& a, const std::string& b) {
        return form.CallMovieFunction(f, a, b);
      });

  Picked picked;
  bool picker_shown = false;
  flash1.OnFSCommand([&](const std::u16string& command, const std::u16string& arg) {
    if (command == u"picked") {
      picked.heard.push_back(U8(arg));
      return;
    }
    form.Boundary().Run([&] { form.flash1FSCommand(command, arg); });
  });
  flash1.OnFlashCall([&](const std::u16string& request) {
    form.Boundary().Run([&] { form.flash1FlashCall(request); });
  });
  // The user, once the picker is open: the course page, the file, "选择".
  QTimer user;
  user.setInterval(50);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* picker = qobject_cast<qt::ResourcePickerWindow*>(QApplication::activeModalWidget());
    if (picker == nullptr || !picker->isVisible()) return;
    user.stop();
    picker_shown = true;
    picker->PageControl().setCurrentIndex(0);
    picked.listed = picker->bsSkinFileListView1().Names();
    EXPECT_TRUE(picker->bsSkinFileListView1().SelectName(name));
    QTest::mouseClick(picker->findChild<QPushButton*>("bsSkinButton1"), Qt::LeftButton);
  });
  user.start();

  flash1.resize(400, 200);
  flash1.show();
  form.Boundary().Run([&] { form.FormCreate(); });
  EXPECT_TRUE(RunUntil([&] { return !picked.heard.empty(); })) << "the movie heard nothing";
  EXPECT_TRUE(picker_shown);
  EXPECT_FALSE(resource_windows.Picker().isVisible());
  EXPECT_EQ(course.Form6.PickCallbackName, "onPicked");
  picked.course_root = course.Form6.CourseResourceRoot;
  return picked;
}

fs::path NewCourseFolder(const std::string& name) {
  text::SetAnsiCodePage("UTF-8");
  const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "lesson3/resource");
  fs::create_directories(dir / "resources");
  return dir;
}

TEST(ResourcePickE2e, TheMovieHearsTheChosenFile) {
  const fs::path dir = NewCourseFolder("qm-pick-e2e");
  std::ofstream(dir / "lesson3/resource/song & <one>.mp3") << "s";
  const Picked picked = PickInCourse(dir, "song & <one>.mp3");
  EXPECT_EQ(picked.heard,
            std::vector<std::string>{"selectedover|/lesson3/resource/song & <one>.mp3"});
  EXPECT_EQ(picked.course_root, dir.string() + "/lesson3/resource");
  fs::remove_all(dir);
}

// Over the learner's layer the picker lists the learner's own resource (added as the
// resource manager adds one) beside the course's, and the movie hears it.
TEST(ResourcePickE2e, TheLearnersOwnResourceIsPickedBesideTheCourses) {
  const fs::path dir = NewCourseFolder("qm-pick-layer-e2e");
  std::ofstream(dir / "lesson3/resource/song.mp3") << "s";
  std::ofstream(dir / "mine.mp3") << "m";
  const LearnerLayer layer{dir.string() + "/",
                           LearnerLayerFolder(dir.string(), (dir / "data").string())};
  StdFileSystem files(text::Ansi(), layer);
  ASSERT_TRUE(files.CopyFile((dir / "mine.mp3").string(),
                             dir.string() + "/lesson3/resource/mine.mp3", true));
  EXPECT_FALSE(fs::exists(dir / "lesson3/resource/mine.mp3"));
  UseLearnerLayer(layer);
  const Picked picked = PickInCourse(dir, "mine.mp3");
  UseLearnerLayer(std::nullopt);
  EXPECT_EQ(picked.listed, (std::vector<std::string>{"mine.mp3", "song.mp3"}));
  EXPECT_EQ(picked.heard, std::vector<std::string>{"selectedover|/lesson3/resource/mine.mp3"});
  EXPECT_EQ(files.ReadBinaryFile(dir.string() + "/lesson3/resource/mine.mp3"), "m");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm
