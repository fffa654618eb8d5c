// The resource manager and the resource picker as windows on the offscreen platform,
// driven as a person would: clicks, typed names, Enter and Escape, on a temporary program
// folder. Deleted categories go to a trash below a temporary XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "posix/desktop_shell.h"
#include "posix/std_file_system.h"
#include "qt/open_dialog_window.h"
#include "qt/qt_dialogs.h"
#include "qt/qt_shell_views.h"
#include "qt/qt_skin.h"
#include "qt/qt_window_system.h"
#include "qt/resource_windows.h"
#include "resources/resource_forms.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::qt {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// The real dialogs, except that plain messages and error reports are noted instead of
// shown (a test has no one to press their OK).
class NotingDialogs : public IDialogs {
 public:
  explicit NotingDialogs(IDialogs& inner) : inner_(inner) {}
  int ShowMessageDialog(const MessageDialogRequest& r) override {
    return inner_.ShowMessageDialog(r);
  }
  void ShowPlainMessage(const std::string& text, const std::string&) override {
    plain.push_back(text);
  }
  int SystemMessageBox(const std::string& text, const std::string& caption,
                       unsigned flags) override {
    return inner_.SystemMessageBox(text, caption, flags);
  }
  void ShowErrorReport(const std::string& text, const std::string&) override {
    reports.push_back(text);
  }
  std::optional<std::string> ShowInputDialog(const InputDialogRequest& r) override {
    return inner_.ShowInputDialog(r);
  }
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& r, std::function<void(ProgressCloseReason)> f) override {
    return inner_.ShowProgressWindow(r, std::move(f));
  }
  std::vector<std::string> plain, reports;

 private:
  IDialogs& inner_;
};

// The desktop shell, except that documents are noted instead of opened.
class NotingShell : public DesktopShell {
 public:
  using DesktopShell::DesktopShell;
  int Execute(const ShellRequest& request) override {
    launched.push_back(request);
    return kSuccess;
  }
  std::vector<ShellRequest> launched;
};

struct MovieCall {
  std::string function, first, second;
  bool operator==(const MovieCall&) const = default;
};

// Waits, running events, until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

// Runs `act` on the next modal window that opens above `below` (from inside its loop).
void WhenModalOpens(QWidget* below, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, below, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == below || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

void TypeIntoInputDialog(QWidget* below, const QString& text, Qt::Key end) {
  WhenModalOpens(below, [text, end](QWidget* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("Edit"));
    ASSERT_NE(edit, nullptr);
    // Typed character by character; each key event carries its text, as an input
    // method delivers Chinese characters.
    for (const QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(edit, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(edit, &release);
    }
    QTest::keyClick(edit, end);
  });
}

QPushButton* Button(QWidget* window, const char* name) {
  auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
  EXPECT_NE(button, nullptr) << name;
  return button;
}

void Click(QWidget* window, const char* name) {
  QTest::mouseClick(Button(window, name), Qt::LeftButton);
}

// A click on the tree node of `path`, as the user makes it.
bool ClickNode(QtFolderTree& tree, const std::string& path) {
  const auto* item = static_cast<const QTreeWidgetItem*>(tree.FindNode(path));
  if (item == nullptr) return false;
  QTreeWidget& view = tree.View();
  view.scrollToItem(item);
  const QRect rect = view.visualItemRect(item);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rect.center());
  return tree.SelectedPath() == path;
}

std::string Utf8(const std::string& ansi) {
  return text::Ansi().ToUtf8(ansi);
}

class ResourceWindowsTest : public ::testing::Test {
 protected:
  ResourceWindowsTest()
      : shell(text::Ansi()),
        windows(dialogs, "Course"),
        boundary(dialogs, "Course"),
        browser(boundary, files, &main_window) {
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    app.WriteFile("resources/songs/a.mp3", "song a");
    app.WriteFile("resources/songs/b.mp3", "song b");
    app.WriteFile("resources/pictures/p.png", "png");
    app.WriteFile("resources/a/b.doc", "doc");
    app.WriteFile("lesson3/resource/song.mp3", "s");
    app.WriteFile("lesson4/resource/other.doc", "o");
    app.WriteFile("a.mp3", "new a");
    app.WriteFile("c.mp3", "new c");
    main_window.resize(1024, 652);
    main_window.move(100, 50);
    main_window.show();
    const ResourceWindowServices services{dialogs,  browser,   files,    shell,
                                          boundary, app.Dir(), "Course", &main_window};
    manager = std::make_unique<ResourceManagerWindow>(form3, services);
    picker = std::make_unique<ResourcePickerWindow>(
        form6, services, [this](const std::string& f, const std::string& a, const std::string& b) {
          calls.push_back({f, a, b});
          return std::string();
        });
    RegisterResourceWindows(windows, form3, *manager, form6, *picker);
  }
  ~ResourceWindowsTest() override { ::unsetenv("XDG_DATA_HOME"); }

  std::string Lib(const std::string& below = {}) const {
    return app.Dir() + "resources" + (below.empty() ? "" : "/" + below);
  }
  std::string Course(const std::string& lesson) const { return app.Dir() + lesson + "/resource"; }

  // Opens the form's window modally as the movie's command does and runs `script` inside
  // its loop; the modal result. A script that leaves the window open fails the test.
  int ShowWith(IModalForm& form, QDialog& window, const std::function<void()>& script) {
    QTimer::singleShot(0, &window, [&] {
      script();
      if (window.isVisible()) {
        ADD_FAILURE() << "the window is still open";
        window.done(-1);
      }
    });
    int result = 0;
    windows.Boundary().Run([&] { result = windows.ShowModal(form); });
    return result;
  }

  void SaveScreenshot(QWidget& window, const char* name) {
    QDir().mkpath(QStringLiteral(QM_ARTEFACTS_DIR));
    const QString file = QStringLiteral(QM_ARTEFACTS_DIR "/") + QString::fromLatin1(name);
    EXPECT_TRUE(window.grab().save(file)) << file.toStdString();
  }

  TempDir app;
  TempDir data;
  QtDialogs real_dialogs{"Course"};
  NotingDialogs dialogs{real_dialogs};
  StdFileSystem files{text::Ansi()};
  NotingShell shell;
  QWidget main_window;
  QtWindowSystem windows;
  ErrorBoundary boundary;
  QtOpenDialogs browser;
  TForm3 form3;
  TForm6 form6;
  std::vector<MovieCall> calls;
  std::unique_ptr<ResourceManagerWindow> manager;
  std::unique_ptr<ResourcePickerWindow> picker;
};

TEST_F(ResourceWindowsTest, ManagerLayout) {
  form3.CourseResourceRoot = Course("lesson3");
  ShowWith(form3, *manager, [&] {
    EXPECT_EQ(manager->windowTitle(), QString::fromUtf8("教学资源管理"));
    EXPECT_EQ(manager->size(), QSize(694, 528));
    EXPECT_EQ(manager->minimumSize(), manager->maximumSize());
    EXPECT_FALSE(manager->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(manager->windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_LE((manager->frameGeometry().center() - main_window.frameGeometry().center())
                  .manhattanLength(),
              2);
    QTabWidget& pages = manager->PageControl();
    EXPECT_EQ(pages.geometry(), QRect(16, 16, 657, 497));
    EXPECT_EQ(pages.tabText(0), QString::fromUtf8("教学资源管理"));
    EXPECT_EQ(pages.tabText(1), QString::fromUtf8("教学资源索引"));
    EXPECT_EQ(pages.currentIndex(), 0);
    EXPECT_EQ(manager->ShellTreeView1().geometry(), QRect(8, 8, 177, 385));
    EXPECT_EQ(manager->ShellListView1().geometry(), QRect(192, 8, 441, 385));
    EXPECT_EQ(manager->bsSkinDirTreeView1().geometry(), QRect(8, 8, 177, 409));
    EXPECT_EQ(manager->bsSkinFileListView1().geometry(), QRect(192, 8, 425, 409));
    const struct {
      const char* name;
      const char* caption;
      QPoint at;
    } buttons[] = {
        {"bsSkinButton3", "新建类别", {8, 400}}, {"bsSkinButton5", "删除类别", {88, 400}},
        {"bsSkinButton6", "增加", {272, 400}},   {"bsSkinButton4", "删除", {352, 400}},
        {"bsSkinButton1", "打开", {440, 400}},   {"bsSkinButton2", "取消", {528, 400}},
        {"bsSkinButton8", "打开", {440, 424}},   {"bsSkinButton9", "取消", {528, 424}}};
    for (const auto& b : buttons) {
      QPushButton* button = Button(manager.get(), b.name);
      EXPECT_EQ(button->text(), QString::fromUtf8(b.caption)) << b.name;
      EXPECT_EQ(button->geometry(), QRect(b.at, QSize(75, 25))) << b.name;
    }
    // The page's last control fits inside the page.
    EXPECT_GE(pages.currentWidget()->height(), 424 + 25);
    EXPECT_FALSE(manager->ShellTreeView1().AutoRefresh());
    EXPECT_FALSE(manager->ShellListView1().AutoRefresh());
    SaveScreenshot(*manager, "resource_manager.png");
    Click(manager.get(), "bsSkinButton2");
  });
}

TEST_F(ResourceWindowsTest, PickerLayout) {
  form6.CourseResourceRoot = Course("lesson3");
  ShowWith(form6, *picker, [&] {
    EXPECT_EQ(picker->windowTitle(), QString::fromUtf8("选择资源"));
    EXPECT_EQ(picker->size(), QSize(687, 508));
    EXPECT_FALSE(picker->windowFlags() & Qt::WindowCloseButtonHint);
    QTabWidget& pages = picker->PageControl();
    EXPECT_EQ(pages.geometry(), QRect(8, 8, 665, 449));
    EXPECT_EQ(pages.tabText(0), QString::fromUtf8("教学资源"));
    EXPECT_EQ(pages.tabText(1), QString::fromUtf8("课外资源"));
    EXPECT_EQ(pages.currentIndex(), 1);  // the library first
    for (QtFolderTree* tree : {&picker->bsSkinDirTreeView1(), &picker->bsSkinDirTreeView2()}) {
      EXPECT_EQ(tree->geometry(), QRect(8, 8, 177, 401));
      EXPECT_TRUE(tree->AutoRefresh());
    }
    for (QtFileList* list : {&picker->bsSkinFileListView1(), &picker->bsSkinFileListView2()}) {
      EXPECT_EQ(list->geometry(), QRect(192, 8, 457, 401));
      EXPECT_TRUE(list->AutoRefresh());
    }
    EXPECT_EQ(Button(picker.get(), "bsSkinButton1")->geometry(), QRect(504, 472, 75, 25));
    EXPECT_EQ(Button(picker.get(), "bsSkinButton1")->text(), QString::fromUtf8("选择"));
    EXPECT_EQ(Button(picker.get(), "bsSkinButton2")->geometry(), QRect(592, 472, 75, 25));
    EXPECT_EQ(Button(picker.get(), "bsSkinButton2")->text(), QString::fromUtf8("取消"));
    SaveScreenshot(*picker, "resource_picker.png");
    QTest::keyClick(picker.get(), Qt::Key_Escape);
  });
  EXPECT_TRUE(calls.empty());
}

TEST_F(ResourceWindowsTest, ManagerCreatesCategoriesFromTypedNames) {
  form3.CourseResourceRoot = Course("lesson3");
  ShowWith(form3, *manager, [&] {
    QtFolderTree& tree = manager->ShellTreeView1();
    ASSERT_TRUE(ClickNode(tree, Lib("songs")));
    EXPECT_EQ(manager->ShellListView1().Names(), (std::vector<std::string>{"a.mp3", "b.mp3"}));

    TypeIntoInputDialog(manager.get(), QString::fromUtf8("英文歌"), Qt::Key_Return);
    Click(manager.get(), "bsSkinButton3");
    EXPECT_TRUE(fs::is_directory(app.Path() / "resources/songs/英文歌"));
    // It shows up below the selected category once that is opened.
    tree.Expand(tree.Selected());
    EXPECT_NE(tree.FindNode(Lib("songs/英文歌")), nullptr);

    // Escape in the input dialog: nothing is created.
    TypeIntoInputDialog(manager.get(), QStringLiteral("never"), Qt::Key_Escape);
    Click(manager.get(), "bsSkinButton3");
    EXPECT_FALSE(fs::exists(app.Path() / "resources/songs/never"));

    // A name that exists: the message, and the folder as it was.
    TypeIntoInputDialog(manager.get(), QString::fromUtf8("英文歌"), Qt::Key_Return);
    Click(manager.get(), "bsSkinButton3");
    ASSERT_EQ(dialogs.plain.size(), 1u);
    EXPECT_EQ(Utf8(dialogs.plain[0]), "新建类别失败，请重试");

    QTest::keyClick(manager.get(), Qt::Key_Escape);
  });
  EXPECT_TRUE(dialogs.reports.empty());
}

TEST_F(ResourceWindowsTest, ManagerSendsADeletedCategoryToTheTrash) {
  form3.CourseResourceRoot = Course("lesson3");
  ShowWith(form3, *manager, [&] {
    QtFolderTree& tree = manager->ShellTreeView1();
    // The library folder itself: nothing happens.
    ASSERT_EQ(tree.SelectedPath(), Lib());
    Click(manager.get(), "bsSkinButton5");
    EXPECT_TRUE(fs::is_directory(app.Path() / "resources"));
    EXPECT_FALSE(fs::exists(data.Path() / "Trash/files"));

    ASSERT_TRUE(ClickNode(tree, Lib("songs")));
    Click(manager.get(), "bsSkinButton5");
    EXPECT_FALSE(fs::exists(app.Path() / "resources/songs"));
    EXPECT_TRUE(fs::exists(data.Path() / "Trash/files/songs/a.mp3"));
    EXPECT_TRUE(fs::exists(data.Path() / "Trash/info/songs.trashinfo"));
    EXPECT_EQ(tree.FindNode(Lib("songs")), nullptr);
    EXPECT_EQ(tree.SelectedPath(), Lib());
    EXPECT_EQ(manager->ShellListView1().Root(), Lib());
    Click(manager.get(), "bsSkinButton2");
  });
  EXPECT_TRUE(dialogs.reports.empty());
  EXPECT_TRUE(dialogs.plain.empty());
}

TEST_F(ResourceWindowsTest, ManagerAddsChosenFilesWithoutOverwriting) {
  form3.CourseResourceRoot = Course("lesson3");
  ShowWith(form3, *manager, [&] {
    ASSERT_TRUE(ClickNode(manager->ShellTreeView1(), Lib("songs")));
    WhenModalOpens(manager.get(), [](QWidget* browser) {
      auto* list = browser->findChild<QListView*>(QStringLiteral("fileList"));
      ASSERT_NE(list, nullptr);
      ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }));
      bool first = true;
      for (const char* name : {"a.mp3", "c.mp3"}) {
        const QModelIndexList found =
            list->model()->match(list->model()->index(0, 0, list->rootIndex()), Qt::DisplayRole,
                                 QString::fromLatin1(name), 1, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        QTest::mouseClick(list->viewport(), Qt::LeftButton,
                          first ? Qt::KeyboardModifiers() : Qt::ControlModifier,
                          list->visualRect(found[0]).center());
        first = false;
      }
      QTest::mouseClick(browser->findChild<QPushButton*>(QStringLiteral("openButton")),
                        Qt::LeftButton);
    });
    Click(manager.get(), "bsSkinButton6");
    EXPECT_EQ(app.ReadFile("resources/songs/a.mp3"), "song a");
    EXPECT_EQ(app.ReadFile("resources/songs/c.mp3"), "new c");
    EXPECT_EQ(manager->ShellListView1().Names(),
              (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    Click(manager.get(), "bsSkinButton2");
  });
}

TEST_F(ResourceWindowsTest, ManagerDeletesAndOpensFiles) {
  form3.CourseResourceRoot = Course("lesson3");
  ShowWith(form3, *manager, [&] {
    ASSERT_TRUE(ClickNode(manager->ShellTreeView1(), Lib("songs")));
    QtFileList& list = manager->ShellListView1();
    Click(manager.get(), "bsSkinButton1");  // nothing selected: nothing opens
    EXPECT_TRUE(shell.launched.empty());
    ASSERT_TRUE(list.SelectName("b.mp3"));
    Click(manager.get(), "bsSkinButton1");
    ASSERT_EQ(shell.launched.size(), 1u);
    EXPECT_EQ(shell.launched[0].file, Lib("songs/b.mp3"));
    EXPECT_EQ(shell.launched[0].owner,
              static_cast<const void*>(static_cast<QWidget*>(manager.get())));
    Click(manager.get(), "bsSkinButton4");
    EXPECT_FALSE(fs::exists(app.Path() / "resources/songs/b.mp3"));
    EXPECT_FALSE(fs::exists(data.Path() / "Trash/files/b.mp3"));  // for good
    EXPECT_EQ(list.Names(), std::vector<std::string>{"a.mp3"});

    // The course page: read-only, opens with a double-click.
    manager->PageControl().setCurrentIndex(1);
    QtFileList& course = manager->bsSkinFileListView1();
    ASSERT_TRUE(course.SelectName("song.mp3"));
    QListView& view = course.View();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {},
                       view.visualRect(view.currentIndex()).center());
    ASSERT_EQ(shell.launched.size(), 2u);
    EXPECT_EQ(shell.launched[1].file, Course("lesson3") + "/song.mp3");
    Click(manager.get(), "bsSkinButton9");
  });
  EXPECT_EQ(form3.ActivePageIndex, 1);
  EXPECT_TRUE(dialogs.reports.empty());
}

TEST_F(ResourceWindowsTest, ManagerReopensAsItWasLeft) {
  form3.CourseResourceRoot = Course("lesson3");
  const int result = ShowWith(form3, *manager, [&] {
    ASSERT_TRUE(ClickNode(manager->ShellTreeView1(), Lib("pictures")));
    manager->PageControl().setCurrentIndex(1);
    QTest::keyClick(manager.get(), Qt::Key_Escape);
  });
  EXPECT_EQ(result, 2);  // as "取消" ends it
  ShowWith(form3, *manager, [&] {
    EXPECT_EQ(manager->PageControl().currentIndex(), 1);
    EXPECT_EQ(manager->ShellTreeView1().SelectedPath(), Lib("pictures"));
    EXPECT_EQ(manager->ShellListView1().Root(), Lib("pictures"));
    QTest::keyClick(manager.get(), Qt::Key_Escape);
  });
  form3.CourseResourceRoot = Course("lesson4");
  ShowWith(form3, *manager, [&] {
    EXPECT_EQ(manager->bsSkinFileListView1().Names(), std::vector<std::string>{"other.doc"});
    EXPECT_EQ(manager->ShellListView1().Root(), Lib("pictures"));
    QTest::keyClick(manager.get(), Qt::Key_Escape);
  });
  // A course without resources: reported, the window opens all the same.
  form3.CourseResourceRoot = Course("lesson9");
  ShowWith(form3, *manager, [&] { QTest::keyClick(manager.get(), Qt::Key_Escape); });
  ASSERT_EQ(dialogs.reports.size(), 1u);
  EXPECT_EQ(dialogs.reports[0], "Error setting path: \"" + Course("lesson9") + "\"");
}

TEST_F(ResourceWindowsTest, PickerHandsTheChosenFileToTheMovie) {
  form6.CourseResourceRoot = Course("lesson3");
  form6.PickCallbackName = "picked";
  const int result = ShowWith(form6, *picker, [&] {
    QtFolderTree& tree = picker->bsSkinDirTreeView2();
    ASSERT_TRUE(ClickNode(tree, Lib("a")));
    QtFileList& list = picker->bsSkinFileListView2();
    ASSERT_TRUE(list.SelectName("b.doc"));
    // Enter on the focused "选择".
    QPushButton* choose = Button(picker.get(), "bsSkinButton1");
    choose->setFocus();
    QTest::keyClick(choose, Qt::Key_Return);
  });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(calls, (std::vector<MovieCall>{{"picked", "selectedover", "/resources/a/b.doc"}}));
}

TEST_F(ResourceWindowsTest, PickerNoticesFilesThatComeAndGo) {
  form6.CourseResourceRoot = Course("lesson3");
  form6.PickCallbackName = "picked";
  ShowWith(form6, *picker, [&] {
    picker->PageControl().setCurrentIndex(0);
    QtFileList& list = picker->bsSkinFileListView1();
    EXPECT_EQ(list.Names(), std::vector<std::string>{"song.mp3"});
    app.WriteFile("lesson3/resource/new.mp3", "n");
    EXPECT_TRUE(WaitFor([&] { return list.Names().size() == 2; }));
    fs::remove(app.Path() / "lesson3/resource/song.mp3");
    EXPECT_TRUE(WaitFor([&] { return list.Names() == std::vector<std::string>{"new.mp3"}; }));
    // A double-click on the new file chooses it.
    ASSERT_TRUE(list.SelectName("new.mp3"));
    QListView& view = list.View();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {},
                       view.visualRect(view.currentIndex()).center());
  });
  EXPECT_EQ(calls,
            (std::vector<MovieCall>{{"picked", "selectedover", "/lesson3/resource/new.mp3"}}));
}

TEST_F(ResourceWindowsTest, PickerReopensForTheSameAndForAnotherCourse) {
  form6.CourseResourceRoot = Course("lesson3");
  form6.PickCallbackName = "picked";
  ShowWith(form6, *picker, [&] {
    picker->PageControl().setCurrentIndex(0);
    ASSERT_TRUE(picker->bsSkinFileListView1().SelectName("song.mp3"));
    Click(picker.get(), "bsSkinButton2");
  });
  ShowWith(form6, *picker, [&] {
    EXPECT_EQ(picker->PageControl().currentIndex(), 0);
    EXPECT_EQ(picker->bsSkinFileListView1().SelectedFilePath(), Course("lesson3") + "/song.mp3");
    QTest::keyClick(picker.get(), Qt::Key_Escape);
  });
  form6.CourseResourceRoot = Course("lesson4");
  ShowWith(form6, *picker, [&] {
    EXPECT_EQ(picker->bsSkinFileListView1().Names(), std::vector<std::string>{"other.doc"});
    Click(picker.get(), "bsSkinButton1");  // nothing selected
  });
  EXPECT_EQ(calls, (std::vector<MovieCall>{{"picked", "selectedover", ""}}));
}

}  // namespace
}  // namespace qm::qt

int main(int argc, char** argv) {
  qm::text::SetAnsiCodePage("UTF-8");
  // The windows need no screen (also when the test list is read at build time).
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qm::qt::InstallSkin(app);  // the program's look, also in the screenshots
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
