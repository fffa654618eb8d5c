// The resource picker end to end: a real movie on the Flash control asks for the picker
// with "selectresource", the user picks a file in the picker's window, and the movie's
// callback hears "selectedover" with the path relative to the program folder.
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

TEST(ResourcePickE2e, TheMovieHearsTheChosenFile) {
  text::SetAnsiCodePage("UTF-8");
  const fs::path dir = fs::temp_directory_path() / ("qm-pick-e2e-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "lesson3/resource");
  fs::create_directories(dir / "resources");
  fs::create_directories(dir / "appdata");
  std::ofstream(dir / "lesson3/resource/song & <one>.mp3") << "s";
  fs::copy_file(QM_MOVIES_DIR "/resource_pick.swf", dir / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", dir / "version.swf");
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

  std::vector<std::string> picked;
  bool picker_shown = false;
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
  // The user, once the picker is open: the course page, the file, "选择".
  QTimer user;
  user.setInterval(50);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* picker = qobject_cast<qt::ResourcePickerWindow*>(QApplication::activeModalWidget());
    if (picker == nullptr || !picker->isVisible()) return;
    user.stop();
    picker_shown = true;
    picker->PageControl().setCurrentIndex(0);
    EXPECT_TRUE(picker->bsSkinFileListView1().SelectName("song & <one>.mp3"));
    QTest::mouseClick(picker->findChild<QPushButton*>("bsSkinButton1"), Qt::LeftButton);
  });
  user.start();

  flash1.resize(400, 200);
  flash1.show();
  form.Boundary().Run([&] { form.FormCreate(); });
  ASSERT_TRUE(RunUntil([&] { return !picked.empty(); })) << "the movie heard nothing";
  EXPECT_TRUE(picker_shown);
  EXPECT_FALSE(resource_windows.Picker().isVisible());
  EXPECT_EQ(picked, std::vector<std::string>{"selectedover|/lesson3/resource/song & <one>.mp3"});
  EXPECT_EQ(course.Form6.PickCallbackName, "onPicked");
  EXPECT_EQ(course.Form6.CourseResourceRoot, app_dir + "lesson3/resource");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm
