// The shell views of the resource dialogs: a folder tree and a file list over the file
// system. Paths are full ANSI paths with native separators. The dialogs' handlers use
// these operations only; how the views draw and read the file system is the platform's.
#pragma once

#include <functional>
#include <string>

namespace qm {

// The root that stands for the computer's top level, as the shell shows it.
inline constexpr const char* kRootMyComputer = "rfMyComputer";

// A node of a folder tree, as the tree hands it out; stays valid while the node is in the
// tree (a refresh keeps the nodes of folders that still exist). nullptr: no node.
using TreeNodeHandle = const void*;

class IShellView {
 public:
  virtual ~IShellView() = default;

  // Shows the folder `root` (or kRootMyComputer) as the view's top. A value equal to the
  // current one ignoring letter case does nothing, not even a re-read. A tree is rebuilt
  // with one top node for the root, expanded one level and selected. A folder that cannot
  // be opened raises Exception("Error setting path: \"<root>\"") and the view stays on its
  // previous root (a tree is rebuilt on it).
  virtual void SetRoot(const std::string& root) = 0;
  // The text of the last successful SetRoot, unchanged (kRootMyComputer at first).
  virtual std::string Root() const = 0;

  // Starting a label edit asks this handler; false refuses the edit. Unset: allowed.
  virtual void SetOnEditing(std::function<bool()> handler) = 0;
};

class IFolderTree : public IShellView {
 public:
  // The selected node's folder; "" when no node is selected.
  virtual std::string SelectedPath() const = 0;
  virtual TreeNodeHandle Selected() const = 0;
  virtual void Select(TreeNodeHandle node) = 0;
  // The node shown at the top of the visible area.
  virtual TreeNodeHandle TopItem() const = 0;
  // Takes the node and its subtree out of the tree; the file system is not touched.
  virtual void RemoveNode(TreeNodeHandle node) = 0;
  // Re-reads the node's folder and everything below it. Expanded nodes stay expanded;
  // the selection and the topmost visible node stay on their folders where these exist.
  virtual void RefreshNode(TreeNodeHandle node) = 0;

  // Any click in the tree.
  virtual void SetOnClick(std::function<void()> handler) = 0;
};

class IFileList : public IShellView {
 public:
  // The selected entry's full path; "" when no entry is selected.
  virtual std::string SelectedFilePath() const = 0;
  // Takes the selected entry out of the display only.
  virtual void RemoveSelected() = 0;
  // Re-reads the folder the list shows.
  virtual void RefreshList() = 0;

  // A double-click; the list never navigates or opens anything by itself.
  virtual void SetOnDblClick(std::function<void()> handler) = 0;
};

}  // namespace qm
