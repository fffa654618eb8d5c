// The file browser window driven as a person would: clicks on entries, typed names,
// Enter and Escape, the tool buttons and the view menu, on temporary folders, through
// the file-open dialog component that the resource manager uses.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <functional>

#include "headless/scripted_ports.h"
#include "posix/std_file_system.h"
#include "qt/open_dialog_window.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"
#include "ui/open_dialog.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

QString U(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// The window as the person in front of it sees it.
class Browser {
 public:
  explicit Browser(QDialog& window) : window_(window) {}

  QDialog& Window() { return window_; }
  QLineEdit* NameBox() { return window_.findChild<QLineEdit*>("nameBox"); }
  QComboBox* FilterBox() { return window_.findChild<QComboBox*>("filterBox"); }
  QComboBox* LookIn() { return window_.findChild<QComboBox*>("lookInBox"); }
  QToolButton* Tool(const char* name) { return window_.findChild<QToolButton*>(name); }
  QPushButton* Button(const char* name) { return window_.findChild<QPushButton*>(name); }
  QTreeView* Details() { return window_.findChild<QTreeView*>("fileDetails"); }

  // The list view that is showing (list and icon views, or details).
  QAbstractItemView* View() {
    auto* list = window_.findChild<QListView*>("fileList");
    return list->isVisible() ? static_cast<QAbstractItemView*>(list) : Details();
  }
  // The names in the list, top to bottom.
  QStringList Names() {
    QStringList names;
    auto* model = View()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      names << model->index(row, 0).data().toString();
    }
    return names;
  }
  QString ShownFolder() { return LookIn()->currentData().toString(); }

  QModelIndex Entry(const QString& name) {
    auto* model = View()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      if (model->index(row, 0).data().toString() == name) return model->index(row, 0);
    }
    ADD_FAILURE() << "no entry " << name.toStdString();
    return {};
  }
  QPoint Spot(const QString& name) {
    const QModelIndex index = Entry(name);
    View()->scrollTo(index);
    return View()->visualRect(index).center();
  }
  void Click(const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, modifiers, Spot(name));
  }
  void DoubleClick(const QString& name) {
    const QPoint spot = Spot(name);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, Qt::NoModifier, spot);
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, Qt::NoModifier, spot);
  }
  // Types into the name box, replacing its text, and presses `key` there.
  void Type(const QString& text, Qt::Key key = Qt::Key_Return) {
    NameBox()->setFocus();
    NameBox()->selectAll();
    QTest::keyClick(NameBox(), Qt::Key_Delete);
    QTest::keyClicks(NameBox(), text);
    QTest::keyClick(NameBox(), key);
  }
  void Press(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }
  void PickView(const QString& caption) {
    for (QAction* action : Tool("viewButton")->menu()->actions()) {
      if (action->text() == caption) action->trigger();
    }
  }
  QString CheckedView() {
    for (QAction* action : Tool("viewButton")->menu()->actions()) {
      if (action->isChecked()) return action->text();
    }
    return {};
  }

 private:
  QDialog& window_;
};

class OpenDialogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text::SetAnsiCodePage("UTF-8");
    for (const char* name : {"b.txt", "a.txt", "c.ini", "lesson.swf", "sub/x.txt", "sub/y.swf"}) {
      folder.WriteFile(name, "data");
    }
    fs::create_directories(folder.Path() / "empty");
    dialog.Title = "Open file";
    dialog.Filter = "All files|*.*";
    dialog.MultiSelection = true;
    dialog.CheckFileExists = true;
    dialog.InitialDir = Dir();
  }

  std::string Dir() const { return folder.Path().string(); }
  std::string In(const std::string& name) const { return (folder.Path() / name).string(); }

  // Shows the dialog and runs `script` on the window once it is up. A script that leaves
  // the window open has it cancelled, so a failing test cannot hang.
  bool Choose(const std::function<void(Browser&)>& script) { return Choose(dialog, script); }
  bool Choose(TbsSkinOpenDialog& component, const std::function<void(Browser&)>& script) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!window || ran) return;
      ran = true;
      poll.stop();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
      Browser browser(*window);
      script(browser);
      if (window->isVisible()) {
        QTimer::singleShot(0, window, &QDialog::reject);
        left_open = true;
      }
    });
    poll.start();
    const bool chosen = component.ChooseFiles();
    EXPECT_TRUE(ran) << "the window was not shown";
    return chosen;
  }

  testing::TempDir app;
  testing::TempDir folder;
  StdFileSystem files{text::Ansi()};
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
  ErrorBoundary boundary{dialogs, "Quillmere"};
  qt::QtOpenDialogs browser{boundary, files};
  TbsSkinOpenDialog dialog{browser, files, app.Dir()};
  bool left_open = false;
};

TEST_F(OpenDialogWindowTest, MultiSelectionTakesTheSelectedFilesInListOrder) {
  const bool chosen = Choose([&](Browser& b) {
    EXPECT_EQ(b.Window().windowTitle(), "Open file");
    EXPECT_TRUE(b.Window().isModal());
    EXPECT_FALSE(b.Window().windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(b.Window().size(), QSize(450, 290));
    EXPECT_EQ(b.ShownFolder(), U(Dir()));
    EXPECT_EQ(b.CheckedView(), U("列表"));
    // Folders first, then files, each in name order.
    EXPECT_EQ(b.Names(), QStringList({"empty", "sub", "a.txt", "b.txt", "c.ini", "lesson.swf"}));
    b.Click("c.ini");
    EXPECT_EQ(b.NameBox()->text(), "c.ini");
    b.Click("sub", Qt::ControlModifier);
    EXPECT_EQ(b.NameBox()->text(), "c.ini");  // a folder names nothing
    b.Click("a.txt", Qt::ControlModifier);
    EXPECT_EQ(b.NameBox()->text(), "a.txt");
    b.Press("openButton");
  });
  ASSERT_TRUE(chosen);
  EXPECT_FALSE(left_open);
  EXPECT_EQ(dialog.FileName, In("a.txt"));
  EXPECT_EQ(dialog.Files(), (std::vector<std::string>{In("a.txt"), In("c.ini")}));
}

TEST_F(OpenDialogWindowTest, SecondShowingKeepsFolderSizeAndViewAndACancelKeepsTheChoice) {
  ASSERT_TRUE(Choose([&](Browser& b) {
    b.Window().resize(620, 410);
    b.PickView(U("详细信息"));
    EXPECT_TRUE(b.Details()->isVisible());
    b.DoubleClick("sub");
    EXPECT_EQ(b.ShownFolder(), U(In("sub")));
    b.DoubleClick("x.txt");
  }));
  EXPECT_EQ(dialog.Files(), std::vector<std::string>{In("sub/x.txt")});

  EXPECT_FALSE(Choose([&](Browser& b) {
    EXPECT_EQ(b.ShownFolder(), U(In("sub")));
    EXPECT_EQ(b.NameBox()->text(), "x.txt");
    EXPECT_EQ(b.Window().size(), QSize(620, 410));
    EXPECT_TRUE(b.Details()->isVisible());
    EXPECT_EQ(b.CheckedView(), U("详细信息"));
    b.PickView(U("大图标"));
    b.Click("y.swf");
    b.Press("cancelButton");
  }));
  EXPECT_FALSE(left_open);
  EXPECT_EQ(dialog.FileName, In("sub/x.txt"));
  EXPECT_EQ(dialog.Files(), std::vector<std::string>{In("sub/x.txt")});

  // Escape in the name box also leaves unconfirmed; the view picked last time stays.
  EXPECT_FALSE(Choose([&](Browser& b) {
    EXPECT_EQ(b.CheckedView(), U("大图标"));
    b.Click("y.swf");
    b.Type("y.swf", Qt::Key_Escape);
  }));
  EXPECT_FALSE(left_open);
  EXPECT_EQ(dialog.Files(), std::vector<std::string>{In("sub/x.txt")});
}

TEST_F(OpenDialogWindowTest, CheckFileExistsWantsASelectedFileThatExists) {
  EXPECT_FALSE(Choose([&](Browser& b) {
    b.Type("a.txt");  // typed, not selected: nothing happens
    EXPECT_TRUE(b.Window().isVisible());
    b.Click("b.txt");
    fs::remove(folder.Path() / "b.txt");
    b.Press("openButton");  // gone meanwhile: nothing happens
    EXPECT_TRUE(b.Window().isVisible());
    b.Click("sub");
    b.NameBox()->clear();
    b.Press("openButton");
    EXPECT_TRUE(b.Window().isVisible());
  }));
  EXPECT_TRUE(left_open);
  EXPECT_TRUE(dialog.Files().empty());

  // Enter in the list on a file confirms it.
  left_open = false;
  ASSERT_TRUE(Choose([&](Browser& b) {
    b.Click("c.ini");
    QTest::keyClick(b.View(), Qt::Key_Return);
  }));
  EXPECT_EQ(dialog.FileName, In("c.ini"));
}

TEST_F(OpenDialogWindowTest, WithoutTheCheckATypedNameIsJoinedToTheShownFolder) {
  dialog.CheckFileExists = false;
  dialog.MultiSelection = false;
  ASSERT_TRUE(Choose([&](Browser& b) {
    b.NameBox()->clear();
    b.Press("openButton");  // empty name box: nothing happens
    EXPECT_TRUE(b.Window().isVisible());
    b.Type("new file.txt");
  }));
  EXPECT_EQ(dialog.FileName, In("new file.txt"));
  EXPECT_TRUE(dialog.Files().empty());

  // Single selection: a second click replaces the first.
  ASSERT_TRUE(Choose([&](Browser& b) {
    b.Click("a.txt");
    b.Click("b.txt", Qt::ControlModifier);
    b.Press("openButton");
  }));
  EXPECT_EQ(dialog.Files(), std::vector<std::string>{In("b.txt")});
}

TEST_F(OpenDialogWindowTest, MasksComeFromTheFilterBoxAndFromTheNameBox) {
  dialog.Filter = "All files|*.*|Text|*.txt;*.INI|Movies|*.swf";
  dialog.FilterIndex = 2;
  EXPECT_FALSE(Choose([&](Browser& b) {
    EXPECT_EQ(b.FilterBox()->currentText(), "Text");
    EXPECT_EQ(b.Names(), QStringList({"empty", "sub", "a.txt", "b.txt", "c.ini"}));
    b.Type("*.swf");
    EXPECT_TRUE(b.Window().isVisible());
    EXPECT_EQ(b.Names(), QStringList({"empty", "sub", "lesson.swf"}));
    b.Type("?.*");
    EXPECT_EQ(b.Names(), QStringList({"empty", "sub", "a.txt", "b.txt", "c.ini"}));
    b.FilterBox()->setFocus();
    QTest::keyClick(b.FilterBox(), Qt::Key_Down);  // to "Movies"
    EXPECT_EQ(b.Names(), QStringList({"empty", "sub", "lesson.swf"}));
    b.Press("cancelButton");
  }));
  EXPECT_EQ(dialog.FilterIndex, 3);
}

TEST_F(OpenDialogWindowTest, TypedFoldersAndTheToolButtonsMoveBetweenFolders) {
  fs::create_directories(app.Path() / "elsewhere");
  int folder_changes = 0;
  dialog.OnFolderChange = [&] { ++folder_changes; };
  EXPECT_FALSE(Choose([&](Browser& b) {
    EXPECT_FALSE(b.Tool("backButton")->isEnabled());
    b.Type("sub\\");
    EXPECT_EQ(b.ShownFolder(), U(In("sub")));
    EXPECT_EQ(b.Names(), QStringList({"x.txt", "y.swf"}));
    EXPECT_EQ(b.NameBox()->text(), "");
    b.Type(U(app.Dir() + "elsewhere/"));
    EXPECT_EQ(b.ShownFolder(), U((app.Path() / "elsewhere").string()));
    b.Type("nothere\\");  // no such folder: a name to confirm, and none is selected
    EXPECT_TRUE(b.Window().isVisible());

    QTest::mouseClick(b.Tool("backButton"), Qt::LeftButton);
    EXPECT_EQ(b.ShownFolder(), U(In("sub")));
    QTest::mouseClick(b.Tool("upButton"), Qt::LeftButton);
    EXPECT_EQ(b.ShownFolder(), U(Dir()));
    // Enter on a selected folder in the list enters it.
    b.Click("empty");
    QTest::keyClick(b.View(), Qt::Key_Return);
    EXPECT_EQ(b.ShownFolder(), U(In("empty")));
    EXPECT_TRUE(b.Names().isEmpty());
    // The drop-down lists the folders above; picking one shows it.
    const int parent = b.LookIn()->findData(U(Dir()));
    ASSERT_GE(parent, 0);
    b.LookIn()->activated(parent);
    EXPECT_EQ(b.ShownFolder(), U(Dir()));
    b.Press("cancelButton");
  }));
  EXPECT_EQ(folder_changes, 6);
}

TEST_F(OpenDialogWindowTest, NewFolderIsCreatedOnceAndAFailureIsReported) {
  const QString name = U("新建文件夹");
  EXPECT_FALSE(Choose([&](Browser& b) {
    QTest::mouseClick(b.Tool("newFolderButton"), Qt::LeftButton);
    EXPECT_TRUE(fs::is_directory(folder.Path() / name.toStdString()));
    EXPECT_TRUE(b.Names().contains(name));
    EXPECT_TRUE(b.View()->selectionModel()->isSelected(b.Entry(name)));
    QTest::mouseClick(b.Tool("newFolderButton"), Qt::LeftButton);  // exists: nothing
    EXPECT_EQ(b.Names().count(name), 1);

    // The shown folder vanished: the failure goes to the error report, the window stays.
    b.DoubleClick("empty");
    fs::remove(folder.Path() / "empty");
    QTest::mouseClick(b.Tool("newFolderButton"), Qt::LeftButton);
    EXPECT_TRUE(b.Window().isVisible());
    b.Press("cancelButton");
  }));
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_TRUE(journal.Entries()[0].contains("error_report"));
  EXPECT_FALSE(fs::exists(folder.Path() / "empty"));
}

TEST_F(OpenDialogWindowTest, PathsComeBackInTheAnsiCodePage) {
  text::SetAnsiCodePage("CP936");
  folder.WriteFile("课程/第一课.txt", "data");
  StdFileSystem gbk_files(text::Ansi());
  qt::QtOpenDialogs gbk_browser(boundary, gbk_files);
  TbsSkinOpenDialog gbk_dialog(gbk_browser, gbk_files, app.Dir());
  gbk_dialog.InitialDir = text::A(In("课程"));
  const bool chosen = Choose(gbk_dialog, [&](Browser& b) {
    EXPECT_EQ(b.ShownFolder(), U(In("课程")));
    b.DoubleClick(U("第一课.txt"));
  });
  const std::string expected = text::A(In("课程/第一课.txt"));
  text::SetAnsiCodePage("UTF-8");
  ASSERT_TRUE(chosen);
  EXPECT_EQ(gbk_dialog.FileName, expected);
  EXPECT_EQ(gbk_dialog.Files(), std::vector<std::string>{expected});
  EXPECT_NE(expected, In("课程/第一课.txt"));  // GBK bytes, not UTF-8
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
