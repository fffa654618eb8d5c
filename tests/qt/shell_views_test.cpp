// The folder tree and file list on temporary folders, driven as a user drives them
// (clicks, keys, label edits) under the offscreen platform.
#include "qt/qt_shell_views.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

#include "headless/scripted_ports.h"
#include "platform/errors.h"
#include "qt/qt_loop.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::qt {
namespace {

namespace fs = std::filesystem;
using testing::QtLoop;

class ShellViewsTest : public ::testing::Test {
 protected:
  void TearDown() override { text::SetAnsiCodePage("UTF-8"); }
  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? dir.Path().string() : (dir.Path() / relative).string();
  }
  void MakeDir(const std::string& relative) const { fs::create_directories(dir.Path() / relative); }
  void Touch(const std::string& relative, const std::string& content = "x") const {
    dir.WriteFile(relative, content);
  }
  std::vector<std::string> ErrorReports() const {
    std::vector<std::string> reports;
    for (const auto& entry : journal.Entries()) {
      if (entry.contains("error_report")) reports.push_back(entry["error_report"]);
    }
    return reports;
  }
  static std::vector<std::string> ChildTexts(const QtFolderTree& tree, TreeNodeHandle node) {
    std::vector<std::string> texts;
    const auto* item = static_cast<const QTreeWidgetItem*>(node);
    for (int i = 0; i < item->childCount(); ++i) {
      texts.push_back(item->child(i)->text(0).toStdString());
    }
    (void)tree;
    return texts;
  }
  static QTreeWidgetItem* Item(TreeNodeHandle node) {
    return const_cast<QTreeWidgetItem*>(static_cast<const QTreeWidgetItem*>(node));
  }
  // The label editor open on the view, or nullptr.
  static QLineEdit* Editor(QAbstractItemView& view) {
    for (QLineEdit* editor : view.findChildren<QLineEdit*>()) {
      if (editor->isVisible()) return editor;
    }
    return nullptr;
  }
  // Opens the label editor on the view's current item; whether it opened.
  static bool StartEditing(QAbstractItemView& view) {
    view.edit(view.currentIndex());
    return Editor(view) != nullptr;
  }
  // Types a new label into the open editor and presses Enter, then lets queued work run.
  static void Commit(QAbstractItemView& view, const QString& text) {
    QLineEdit* editor = Editor(view);
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor commits from a queued call, which queues the report and the move of
    // the renamed item: each round below delivers one link of that chain.
    for (int round = 0; round < 4; ++round) {
      QCoreApplication::sendPostedEvents();
      QCoreApplication::processEvents();
    }
  }

  testing::TempDir dir;
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
  ErrorBoundary boundary{dialogs, "Test"};
};

// ---- Roots ----------------------------------------------------------------------------

TEST_F(ShellViewsTest, TreeRootIsOneExpandedSelectedNodeOverVisibleFoldersInNaturalOrder) {
  MakeDir("lib/folder10");
  MakeDir("lib/Folder9");
  MakeDir("lib/a/deep");
  MakeDir("lib/.hidden");
  Touch("lib/file.txt");
  QtFolderTree tree(boundary);
  EXPECT_EQ(tree.Root(), kRootMyComputer);

  tree.SetRoot(Path("lib"));
  EXPECT_EQ(tree.Root(), Path("lib"));
  ASSERT_EQ(tree.View().topLevelItemCount(), 1);
  TreeNodeHandle top = tree.View().topLevelItem(0);
  EXPECT_EQ(Item(top)->text(0), "lib");
  EXPECT_EQ(tree.Selected(), top);
  EXPECT_EQ(tree.SelectedPath(), Path("lib"));
  EXPECT_TRUE(tree.IsExpanded(top));
  EXPECT_EQ(ChildTexts(tree, top), (std::vector<std::string>{"a", "Folder9", "folder10"}));
  // One level only: "a" is not open yet, though it shows that it holds folders.
  TreeNodeHandle a = tree.FindNode(Path("lib/a"));
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(tree.IsExpanded(a));
  EXPECT_EQ(Item(a)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  tree.Expand(a);
  EXPECT_EQ(ChildTexts(tree, a), (std::vector<std::string>{"deep"}));
  EXPECT_EQ(tree.NodePath(tree.FindNode(Path("lib/a/deep"))), Path("lib/a/deep"));
}

TEST_F(ShellViewsTest, RootInAnotherLetterCaseIsFoundAndKeptAsWritten) {
  MakeDir("Course/Resource/Unit1");
  Touch("Course/Resource/a.txt");
  const std::string written = Path("COURSE/resource");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  tree.SetRoot(written);
  list.SetRoot(written);
  EXPECT_EQ(tree.Root(), written);
  EXPECT_EQ(tree.SelectedPath(), written);
  EXPECT_EQ(Item(tree.Selected())->text(0), "Resource");
  EXPECT_NE(tree.FindNode(written + "/Unit1"), nullptr);
  EXPECT_EQ(list.Root(), written);
  ASSERT_TRUE(list.SelectName("a.txt"));
  EXPECT_EQ(list.SelectedFilePath(), written + "/a.txt");
}

TEST_F(ShellViewsTest, RootEqualIgnoringCaseReadsNothing) {
  MakeDir("lib/one");
  Touch("lib/one.txt");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  tree.SetRoot(Path("lib"));
  list.SetRoot(Path("lib"));
  tree.Expand(tree.FindNode(Path("lib/one")));
  tree.Select(tree.FindNode(Path("lib/one")));
  MakeDir("lib/two");
  Touch("lib/two.txt");

  const std::string shouted = text::LowerAscii(Path("lib")) == Path("lib")
                                  ? QString::fromStdString(Path("lib")).toUpper().toStdString()
                                  : text::LowerAscii(Path("lib"));
  tree.SetRoot(shouted);
  list.SetRoot(shouted);
  EXPECT_EQ(tree.Root(), Path("lib"));
  EXPECT_EQ(list.Root(), Path("lib"));
  EXPECT_EQ(tree.FindNode(Path("lib/two")), nullptr);  // not re-read
  EXPECT_EQ(tree.SelectedPath(), Path("lib/one"));     // not rebuilt
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"one.txt"}));
}

TEST_F(ShellViewsTest, RootThatCannotBeOpenedRaisesAndTheViewsStayOnTheirRoots) {
  MakeDir("lib/sub");
  Touch("lib/a.txt");
  Touch("plain.txt");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  tree.SetRoot(Path("lib"));
  list.SetRoot(Path("lib"));
  tree.Select(tree.FindNode(Path("lib/sub")));
  MakeDir("lib/later");

  for (const std::string& bad : {Path("missing"), Path("plain.txt"), std::string()}) {
    SCOPED_TRACE(bad);
    try {
      tree.SetRoot(bad);
      ADD_FAILURE() << "tree accepted the root";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Error setting path: \"" + bad + "\"");
    }
    try {
      list.SetRoot(bad);
      ADD_FAILURE() << "list accepted the root";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Error setting path: \"" + bad + "\"");
    }
    EXPECT_EQ(tree.Root(), Path("lib"));
    EXPECT_EQ(list.Root(), Path("lib"));
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.txt"}));
  }
  // The tree was rebuilt on its previous root: read afresh, top node selected.
  EXPECT_EQ(tree.SelectedPath(), Path("lib"));
  EXPECT_NE(tree.FindNode(Path("lib/later")), nullptr);
}

TEST_F(ShellViewsTest, ComputerTopLevelHoldsHomeAndFileSystemRootAndNoFiles) {
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  EXPECT_EQ(list.Root(), kRootMyComputer);
  EXPECT_TRUE(list.Names().empty());
  EXPECT_EQ(list.SelectedFilePath(), "");
  EXPECT_EQ(tree.SelectedPath(), "");  // the computer is no folder
  EXPECT_NE(tree.FindNode("/"), nullptr);
  EXPECT_NE(tree.FindNode(QDir::homePath().toStdString()), nullptr);

  tree.SetRoot(Path());
  list.SetRoot(Path());
  tree.SetRoot(kRootMyComputer);
  list.SetRoot(kRootMyComputer);
  EXPECT_EQ(tree.Root(), kRootMyComputer);
  EXPECT_EQ(tree.SelectedPath(), "");
  EXPECT_TRUE(list.Names().empty());
}

TEST_F(ShellViewsTest, PathsAreAnsiTextInADoubleByteCodePage) {
  // On disk the names are UTF-8; the views hand out and take CP936 text.
  MakeDir("lib/\xe8\xaf\xbe\xe4\xbb\xb6");  // 课件
  Touch(
      "lib/\xe8\xaf\xbe\xe4\xbb\xb6/\xe8\xaf\xbe\xe6\x96\x87"
      "1.txt");                                                        // 课文1.txt
  Touch("lib/\xe8\xaf\xbe\xe4\xbb\xb6/\xe5\xb7\xb2\xe6\x9c\x89.txt");  // 已有.txt
  text::SetAnsiCodePage("CP936");
  const std::string folder = Path("lib") + "/" + text::A("\xe8\xaf\xbe\xe4\xbb\xb6");
  ASSERT_NE(folder, Path("lib/\xe8\xaf\xbe\xe4\xbb\xb6"));  // really another encoding
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  list.show();
  tree.SetRoot(Path("lib"));
  TreeNodeHandle node = tree.FindNode(folder);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(Item(node)->text(0), QString::fromUtf8("\xe8\xaf\xbe\xe4\xbb\xb6"));
  list.SetRoot(folder);
  ASSERT_TRUE(
      list.SelectName("\xe8\xaf\xbe\xe6\x96\x87"
                      "1.txt"));
  EXPECT_EQ(list.SelectedFilePath(), folder + "/" +
                                         text::A("\xe8\xaf\xbe\xe6\x96\x87"
                                                 "1.txt"));

  // The refusal names the new name in the code page; the report shows it.
  ASSERT_TRUE(StartEditing(list.View()));
  Commit(list.View(), QString::fromUtf8("\xe5\xb7\xb2\xe6\x9c\x89.txt"));
  EXPECT_EQ(ErrorReports(),
            (std::vector<std::string>{"Rename to \xe5\xb7\xb2\xe6\x9c\x89.txt failed."}));
}

// ---- What the list shows ----------------------------------------------------------------

TEST_F(ShellViewsTest, ListShowsVisibleFilesOnlyInNaturalOrder) {
  for (const char* name : {"file10.txt", "File2.txt", "file1.txt", "b", "A", ".secret"}) {
    Touch(std::string("lib/") + name);
  }
  MakeDir("lib/folder");
  fs::create_symlink(Path("lib/A"), Path("lib/link"));
  fs::create_symlink(Path("lib/nowhere"), Path("lib/dangling"));
  QtFileList list(boundary);
  list.SetRoot(Path("lib"));
  EXPECT_EQ(list.Names(),
            (std::vector<std::string>{"A", "b", "file1.txt", "File2.txt", "file10.txt", "link"}));
  EXPECT_EQ(list.SelectedFilePath(), "");
  ASSERT_TRUE(list.SelectName("File2.txt"));
  EXPECT_EQ(list.SelectedFilePath(), Path("lib") + "/File2.txt");
  EXPECT_EQ(list.View().selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(ShellViewsTest, RemoveSelectedTakesTheEntryFromTheDisplayOnly) {
  Touch("lib/a.txt");
  Touch("lib/b.txt");
  QtFileList list(boundary);
  list.SetRoot(Path("lib"));
  list.RemoveSelected();  // nothing selected: nothing happens
  EXPECT_EQ(list.Names().size(), 2u);
  list.SelectName("a.txt");
  list.RemoveSelected();
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(list.SelectedFilePath(), "");
  EXPECT_TRUE(dir.Exists("lib/a.txt"));
  list.RefreshList();
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(ShellViewsTest, RefreshListKeepsTheSelectionWhereTheFileStillExists) {
  Touch("lib/a.txt");
  Touch("lib/b.txt");
  QtFileList list(boundary);
  list.SetRoot(Path("lib"));
  list.SelectName("b.txt");
  Touch("lib/0.txt");
  list.RefreshList();
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"0.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(list.SelectedFilePath(), Path("lib") + "/b.txt");
  fs::remove(Path("lib/b.txt"));
  list.RefreshList();
  EXPECT_EQ(list.SelectedFilePath(), "");
  // The folder itself has gone: the list shows nothing, and says nothing.
  fs::remove_all(Path("lib"));
  list.RefreshList();
  EXPECT_TRUE(list.Names().empty());
  EXPECT_TRUE(ErrorReports().empty());
}

// ---- Tree nodes -------------------------------------------------------------------------

TEST_F(ShellViewsTest, RefreshNodeKeepsExpansionSelectionAndTopNode) {
  for (int i = 1; i <= 40; ++i) MakeDir("lib/d" + std::to_string(i));
  MakeDir("lib/d20/inner/core");
  MakeDir("lib/d21/x");
  QtFolderTree tree(boundary);
  tree.resize(200, 160);
  tree.show();
  tree.SetRoot(Path("lib"));
  TreeNodeHandle d20 = tree.FindNode(Path("lib/d20"));
  tree.Expand(d20);
  TreeNodeHandle inner = tree.FindNode(Path("lib/d20/inner"));
  tree.Expand(inner);
  TreeNodeHandle core = tree.FindNode(Path("lib/d20/inner/core"));
  tree.Select(core);
  TreeNodeHandle d10 = tree.FindNode(Path("lib/d10"));
  tree.View().scrollToItem(Item(d10), QAbstractItemView::PositionAtTop);
  QtLoop::RunFor(10);
  ASSERT_EQ(tree.TopItem(), d10);

  MakeDir("lib/d0");               // above the top node
  MakeDir("lib/d20/inner/added");  // inside an expanded node
  MakeDir("lib/d21/x/y");          // below a node never opened
  fs::remove_all(Path("lib/d30"));
  tree.RefreshNode(tree.View().topLevelItem(0));

  EXPECT_EQ(tree.FindNode(Path("lib/d20")), d20);  // the same nodes, still open
  EXPECT_TRUE(tree.IsExpanded(d20));
  EXPECT_TRUE(tree.IsExpanded(inner));
  EXPECT_EQ(tree.Selected(), core);
  EXPECT_EQ(tree.SelectedPath(), Path("lib/d20/inner/core"));
  EXPECT_EQ(tree.TopItem(), d10);
  EXPECT_EQ(ChildTexts(tree, inner), (std::vector<std::string>{"added", "core"}));
  EXPECT_EQ(ChildTexts(tree, tree.View().topLevelItem(0)).front(), "d0");
  EXPECT_EQ(tree.FindNode(Path("lib/d30")), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone again

  // The selected folder goes: the selection falls back to its nearest remaining parent.
  fs::remove_all(Path("lib/d20/inner"));
  tree.RefreshNode(d20);
  EXPECT_EQ(tree.Selected(), d20);
  EXPECT_TRUE(ChildTexts(tree, d20).empty());
}

TEST_F(ShellViewsTest, RemoveNodeLeavesTheFileSystemAlone) {
  MakeDir("lib/a/b");
  MakeDir("lib/c");
  QtFolderTree tree(boundary);
  tree.show();
  tree.SetRoot(Path("lib"));
  TreeNodeHandle a = tree.FindNode(Path("lib/a"));
  tree.Expand(a);
  tree.Select(tree.FindNode(Path("lib/a/b")));
  tree.RemoveNode(a);
  EXPECT_EQ(tree.FindNode(Path("lib/a")), nullptr);
  EXPECT_EQ(tree.FindNode(Path("lib/a/b")), nullptr);
  EXPECT_TRUE(fs::is_directory(Path("lib/a/b")));
  EXPECT_NE(tree.SelectedPath(), Path("lib/a/b"));
  // A handle that left the tree is ignored.
  tree.Select(a);
  tree.RemoveNode(a);
  tree.RefreshNode(a);
  EXPECT_EQ(tree.NodePath(a), "");
  // A refresh shows the folder again.
  ASSERT_EQ(tree.TopItem(), tree.View().topLevelItem(0));
  tree.RefreshNode(tree.TopItem());
  EXPECT_NE(tree.FindNode(Path("lib/a")), nullptr);
}

// ---- Label editing ----------------------------------------------------------------------

TEST_F(ShellViewsTest, TreeLabelEditAsksOnEditingAndRenamesTheFolder) {
  MakeDir("lib/old/child");
  QtFolderTree tree(boundary);
  tree.show();
  tree.SetRoot(Path("lib"));
  int asked = 0;
  bool allow = false;
  tree.SetOnEditing([&] {
    ++asked;
    return allow;
  });
  // The top node cannot be renamed at all; the handler is not even asked.
  EXPECT_FALSE(StartEditing(tree.View()));
  EXPECT_EQ(asked, 0);

  TreeNodeHandle old = tree.FindNode(Path("lib/old"));
  tree.Expand(old);
  tree.Select(old);
  EXPECT_FALSE(StartEditing(tree.View()));  // refused by the handler
  EXPECT_EQ(asked, 1);
  allow = true;
  ASSERT_TRUE(StartEditing(tree.View()));
  Commit(tree.View(), "new");
  EXPECT_TRUE(fs::is_directory(Path("lib/new/child")));
  EXPECT_FALSE(fs::exists(Path("lib/old")));
  EXPECT_EQ(Item(old)->text(0), "new");
  EXPECT_EQ(tree.SelectedPath(), Path("lib/new"));
  EXPECT_EQ(tree.NodePath(tree.FindNode(Path("lib/new/child"))), Path("lib/new/child"));
  EXPECT_TRUE(ErrorReports().empty());
}

TEST_F(ShellViewsTest, RefusedTreeRenameReportsAndKeepsTheLabel) {
  MakeDir("lib/a");
  MakeDir("lib/B");
  QtFolderTree tree(boundary);
  tree.show();
  tree.SetRoot(Path("lib"));
  TreeNodeHandle a = tree.FindNode(Path("lib/a"));
  tree.Select(a);
  // "b" exists as "B": two names a case-insensitive lookup could not tell apart.
  ASSERT_TRUE(StartEditing(tree.View()));
  Commit(tree.View(), "b");
  EXPECT_EQ(ErrorReports(), (std::vector<std::string>{"Rename to b failed."}));
  EXPECT_TRUE(fs::is_directory(Path("lib/a")));
  EXPECT_EQ(Item(a)->text(0), "a");
  EXPECT_EQ(tree.SelectedPath(), Path("lib/a"));

  // A separator is refused too; an empty name keeps the old one silently.
  ASSERT_TRUE(StartEditing(tree.View()));
  Commit(tree.View(), "x/y");
  EXPECT_EQ(ErrorReports().size(), 2u);
  ASSERT_TRUE(StartEditing(tree.View()));
  Commit(tree.View(), "");
  EXPECT_EQ(ErrorReports().size(), 2u);
  EXPECT_EQ(Item(a)->text(0), "a");
}

TEST_F(ShellViewsTest, ListLabelEditRenamesAndRefusesAnExistingName) {
  Touch("lib/a.txt", "first");
  Touch("lib/b.txt", "second");
  QtFileList list(boundary);
  list.show();
  list.SetRoot(Path("lib"));
  list.SetOnEditing([] { return false; });
  list.SelectName("a.txt");
  EXPECT_FALSE(StartEditing(list.View()));
  list.SetOnEditing(nullptr);  // unset: every label may be edited

  ASSERT_TRUE(StartEditing(list.View()));
  Commit(list.View(), "b.txt");
  EXPECT_EQ(ErrorReports(), (std::vector<std::string>{"Rename to b.txt failed."}));
  EXPECT_EQ(dir.ReadFile("lib/a.txt"), "first");
  EXPECT_EQ(dir.ReadFile("lib/b.txt"), "second");
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"a.txt", "b.txt"}));

  ASSERT_TRUE(StartEditing(list.View()));
  Commit(list.View(), "z.txt");
  EXPECT_EQ(dir.ReadFile("lib/z.txt"), "first");
  EXPECT_FALSE(dir.Exists("lib/a.txt"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"b.txt", "z.txt"}));
  EXPECT_EQ(list.SelectedFilePath(), Path("lib") + "/z.txt");
  EXPECT_EQ(ErrorReports().size(), 1u);
}

TEST_F(ShellViewsTest, AHandlerErrorWhileAskingRefusesTheEditAndIsReported) {
  Touch("lib/a.txt");
  QtFileList list(boundary);
  list.show();
  list.SetRoot(Path("lib"));
  list.SetOnEditing([]() -> bool { throw Exception("handler failed"); });
  list.SelectName("a.txt");
  EXPECT_FALSE(StartEditing(list.View()));
  EXPECT_EQ(ErrorReports(), (std::vector<std::string>{"handler failed."}));
}

// ---- Mouse and keyboard -----------------------------------------------------------------

TEST_F(ShellViewsTest, ClicksAndDoubleClicksRaiseTheHandlersOnly) {
  MakeDir("lib/a");
  MakeDir("lib/b");
  Touch("lib/f.txt");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  tree.show();
  list.show();
  tree.SetRoot(Path("lib"));
  list.SetRoot(Path("lib"));
  std::vector<std::string> clicked;
  tree.SetOnClick([&] { clicked.push_back(tree.SelectedPath()); });
  QTreeWidget& view = tree.View();
  const QRect b = view.visualItemRect(Item(tree.FindNode(Path("lib/b"))));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, b.center());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, view.viewport()->height() - 3));
  EXPECT_EQ(clicked, (std::vector<std::string>{Path("lib/b"), Path("lib/b")}));

  int double_clicks = 0;
  list.SetOnDblClick([&] { ++double_clicks; });
  const QRect f = list.View().visualRect(list.View().model()->index(0, 0));
  QTest::mouseDClick(list.View().viewport(), Qt::LeftButton, {}, f.center());
  EXPECT_EQ(double_clicks, 1);
  EXPECT_EQ(list.Root(), Path("lib"));
  EXPECT_EQ(Editor(list.View()), nullptr);
}

TEST_F(ShellViewsTest, LinkedListFollowsTheTreeRootAndKeyboardSelection) {
  MakeDir("lib/a");
  MakeDir("lib/b");
  Touch("lib/top.txt");
  Touch("lib/a/in_a.txt");
  Touch("lib/b/in_b.txt");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  tree.show();
  LinkViews(tree, list);
  tree.SetRoot(Path("lib"));
  EXPECT_EQ(list.Root(), Path("lib"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"top.txt"}));

  QTest::keyClick(&tree.View(), Qt::Key_Down);
  EXPECT_EQ(tree.SelectedPath(), Path("lib/a"));
  EXPECT_EQ(list.Root(), Path("lib/a"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"in_a.txt"}));
  QTest::keyClick(&tree.View(), Qt::Key_Down);
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"in_b.txt"}));

  // A selected folder that has gone meanwhile leaves the list where it was, and says so.
  fs::remove_all(Path("lib/a"));
  QTest::keyClick(&tree.View(), Qt::Key_Up);
  EXPECT_EQ(list.Root(), Path("lib/b"));
  EXPECT_EQ(ErrorReports(),
            (std::vector<std::string>{"Error setting path: \"" + Path("lib/a") + "\""}));
}

// ---- Watching -----------------------------------------------------------------------------

TEST_F(ShellViewsTest, AutoRefreshShowsFilesAndFoldersComingAndGoing) {
  MakeDir("lib/sub");
  QtFolderTree tree(boundary);
  QtFileList list(boundary);
  LinkViews(tree, list);
  tree.SetAutoRefresh(true);
  list.SetAutoRefresh(true);
  tree.SetRoot(Path("lib"));

  Touch("lib/new.txt");
  EXPECT_TRUE(QtLoop::RunUntil([&] { return list.Names().size() == 1; }, 5000));
  fs::remove(Path("lib/new.txt"));
  EXPECT_TRUE(QtLoop::RunUntil([&] { return list.Names().empty(); }, 5000));

  MakeDir("lib/fresh");
  EXPECT_TRUE(QtLoop::RunUntil([&] { return tree.FindNode(Path("lib/fresh")) != nullptr; }, 5000));
  // Subfolders are not watched: a file inside one changes nothing shown.
  Touch("lib/sub/inner.txt");
  QtLoop::RunFor(200);
  EXPECT_TRUE(list.Names().empty());

  // Without AutoRefresh nothing moves by itself.
  list.SetAutoRefresh(false);
  Touch("lib/quiet.txt");
  QtLoop::RunFor(200);
  EXPECT_TRUE(list.Names().empty());
}

}  // namespace
}  // namespace qm::qt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qm::text::SetAnsiCodePage("UTF-8");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
