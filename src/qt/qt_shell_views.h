// The shell views of the resource dialogs on Qt Widgets: a folder tree and a file list
// over the real file system.
//
// Paths handed in and out are ANSI text in the shell's code page with native separators.
// A root that does not exist as written is found ignoring letter case, as the file layer
// finds every path (courses come from Windows); Root() still answers the text as set, and
// every path a view hands out is that text followed by the on-disk names below it.
//
// What the views show: folders only in trees, files only in lists, nothing hidden (names
// that start with "."), every level in the natural name order of a file manager
// (resources/natural_order.h). The computer's top level (kRootMyComputer) is one node
// "Computer" holding the user's home folder and the file system's root "/"; a list on
// it shows no files.
//
// Label editing: F2 or a click on the selected item starts an edit, which the OnEditing
// handler may refuse. A finished edit renames the item on disk; an empty or unchanged
// name keeps the old one silently, and a rename the file system refuses (the name exists
// already, even in another letter case; the name holds a separator; no permission)
// raises Exception("Rename to <name> failed"), reported through the ErrorBoundary once
// the editor has closed; the label keeps its old text. The top node of a tree and the
// computer's own nodes cannot be renamed.
//
// AutoRefresh: a tree watches its selected folder, a list the folder it shows (not their
// subfolders); QFileSystemWatcher hands each change to the GUI thread, where the view
// re-reads that folder (changes arriving together are read once).
//
// The tree is qt_folder_tree.cpp, the list qt_file_list.cpp, and what both use
// qt_shell_view_parts.*; folders are read and renamed through the file layer's port.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "platform/file_system.h"
#include "platform/shell_views_port.h"

class QFileSystemWatcher;
class QListView;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {
class ErrorBoundary;
}

namespace qm::qt {

class FileListModel;
class FolderTreeWidget;
class FileListWidget;
class QtFileList;

class QtFolderTree : public QWidget, public IFolderTree {
  Q_OBJECT

 public:
  // Errors of the view's own event handlers (a refused rename, an error of OnClick or
  // OnEditing) go to `boundary`, which must outlive the view. Starts on kRootMyComputer.
  explicit QtFolderTree(ErrorBoundary& boundary, QWidget* parent = nullptr);
  ~QtFolderTree() override;

  void SetRoot(const std::string& root) override;
  std::string Root() const override { return root_; }
  void SetOnEditing(std::function<bool()> handler) override;

  std::string SelectedPath() const override;
  TreeNodeHandle Selected() const override;
  void Select(TreeNodeHandle node) override;
  TreeNodeHandle TopItem() const override;
  void RemoveNode(TreeNodeHandle node) override;
  void RefreshNode(TreeNodeHandle node) override;
  void SetOnClick(std::function<void()> handler) override;

  // Watch the selected folder and re-read it when it changes.
  void SetAutoRefresh(bool on);
  bool AutoRefresh() const { return auto_refresh_; }

  // The Qt view itself (for layout, and for tests that drive it like a user).
  QTreeWidget& View() const;
  // The node of the folder with this path as the tree hands it out; nullptr when no
  // such node is in the tree (unloaded levels are not read).
  TreeNodeHandle FindNode(const std::string& path) const;
  // The folder of a node ("" for the computer's top node or an unknown handle).
  std::string NodePath(TreeNodeHandle node) const;
  // Expands a node (its folders are read when it opens the first time).
  void Expand(TreeNodeHandle node);
  bool IsExpanded(TreeNodeHandle node) const;

 signals:
  // A SetRoot succeeded (after the tree was rebuilt).
  void rootChanged();
  // The selection moved to another node by mouse, keyboard or Select, or the selected
  // folder's path changed (the node left the tree, a refresh found its folder gone, it
  // was renamed): raised once the tree is consistent again, never in the middle of
  // SetRoot, which raises rootChanged instead.
  void selectionMoved();

 private:
  friend class FolderTreeWidget;

  void Rebuild(const std::string& root, const std::string& disk_root);
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const std::string& name_utf8, int index);
  void LoadChildren(QTreeWidgetItem* item);
  // Brings the children of a loaded node in line with the disk; with `deep`, also the
  // loaded nodes below it. Nodes of folders that still exist are kept as they are.
  void Reconcile(QTreeWidgetItem* item, bool deep);
  void DeleteItem(QTreeWidgetItem* item);
  void Forget(QTreeWidgetItem* item);
  QTreeWidgetItem* Live(TreeNodeHandle node) const;
  bool StartEdit(QTreeWidgetItem* item);
  // Renames the node's folder to `new_name`; false when the label is to stay.
  bool Rename(QTreeWidgetItem* item, const QString& new_name);
  void Repath(QTreeWidgetItem* item, const std::string& ansi_path, const std::string& disk_path);
  void OnCurrentChanged();
  void WatchSelection();
  void OnWatchedChange();

  friend void LinkViews(QtFolderTree& tree, QtFileList& list);

  ErrorBoundary& boundary_;
  FolderTreeWidget* view_;
  std::unique_ptr<IFileSystem> files_;
  std::string root_ = kRootMyComputer;
  std::function<bool()> on_editing_;
  std::function<void()> on_click_;
  std::unordered_set<const void*> live_;  // every node now in the tree
  int quiet_ = 0;                         // > 0: a rebuild is moving the selection
  bool auto_refresh_ = false;
  QFileSystemWatcher* watcher_ = nullptr;
  std::string watched_;  // the on-disk folder being watched
  QPointer<QtFileList> linked_list_;
};

class QtFileList : public QWidget, public IFileList {
  Q_OBJECT

 public:
  // See QtFolderTree. Starts on kRootMyComputer, showing no files.
  explicit QtFileList(ErrorBoundary& boundary, QWidget* parent = nullptr);
  ~QtFileList() override;

  void SetRoot(const std::string& root) override;
  std::string Root() const override { return root_; }
  void SetOnEditing(std::function<bool()> handler) override;

  std::string SelectedFilePath() const override;
  void RemoveSelected() override;
  void RefreshList() override;
  void SetOnDblClick(std::function<void()> handler) override;

  // Watch the shown folder and re-read it when it changes.
  void SetAutoRefresh(bool on);
  bool AutoRefresh() const { return auto_refresh_; }

  QListView& View() const;
  // The names shown, top to bottom (UTF-8), and selecting one of them by name.
  std::vector<std::string> Names() const;
  bool SelectName(const std::string& name_utf8);

 private:
  friend class FileListWidget;

  // Reads the folder again, keeping the selection and the topmost row where they exist.
  void Reload();
  bool StartEdit();
  bool Rename(int row, const QString& new_name);
  void Watch();

  ErrorBoundary& boundary_;
  FileListWidget* view_;
  FileListModel* model_;
  std::unique_ptr<IFileSystem> files_;
  std::string root_ = kRootMyComputer;
  std::string disk_root_;  // the folder shown, on disk ("" for the computer)
  std::function<bool()> on_editing_;
  std::function<void()> on_dbl_click_;
  bool auto_refresh_ = false;
  QFileSystemWatcher* watcher_ = nullptr;
};

// Links a tree and a list as the picker shows them: setting the tree's root sets the
// list's root to the same text, and whenever the tree's selection moves the list shows
// the newly selected folder. Both must outlive the link (it ends with either of them).
void LinkViews(QtFolderTree& tree, QtFileList& list);

}  // namespace qm::qt
