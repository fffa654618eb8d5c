// Shell views for the resource dialogs' tests: a folder tree and a file list over a real
// folder (a TempDir), keeping to the contract of platform/shell_views_port.h, plus what a
// test needs to act as the user (clicks, keyboard selection, label edits) and to see
// what the views were asked to do.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/shell_views_port.h"

namespace qm::testing {

class FakeFolderTree : public IFolderTree {
 public:
  void SetRoot(const std::string& root) override;
  std::string Root() const override { return root_; }
  void SetOnEditing(std::function<bool()> handler) override { on_editing_ = std::move(handler); }

  std::string SelectedPath() const override;
  TreeNodeHandle Selected() const override { return selected_; }
  void Select(TreeNodeHandle node) override;
  TreeNodeHandle TopItem() const override { return top_; }
  void RemoveNode(TreeNodeHandle node) override;
  void RefreshNode(TreeNodeHandle node) override;
  void SetOnClick(std::function<void()> handler) override { on_click_ = std::move(handler); }

  // The user clicks the node of `path` (selecting it); false when no such node is shown.
  bool Click(const std::string& path);
  // The user moves the selection with the keyboard: no click event.
  bool SelectWithKeyboard(const std::string& path);
  // The user starts a label edit: what OnEditing answers (true when unset).
  bool StartEdit() const { return on_editing_ ? on_editing_() : true; }
  // Opens a node so that its subfolders are shown (and re-read by refreshes).
  bool Expand(const std::string& path);

  TreeNodeHandle Node(const std::string& path) const;
  std::string NodePath(TreeNodeHandle node) const;
  bool Shows(const std::string& path) const { return Node(path) != nullptr; }
  int set_root_count = 0;              // successful root changes
  std::vector<std::string> refreshed;  // folders of the nodes refreshed, in order
  // Called after a successful SetRoot and after the selection moved (the link to a list).
  std::function<void()> on_root_set;
  std::function<void()> on_selection_moved;

 private:
  struct Item {
    std::string path;
    bool expanded = false;
  };
  Item* Find(TreeNodeHandle node) const;
  void Build(const std::string& root);
  void ReadChildren(const std::string& path);
  void MoveSelection(Item* item);

  std::string root_ = kRootMyComputer;
  std::map<std::string, std::unique_ptr<Item>> items_;  // by folder path
  Item* selected_ = nullptr;
  Item* top_ = nullptr;
  std::function<bool()> on_editing_;
  std::function<void()> on_click_;
};

class FakeFileList : public IFileList {
 public:
  void SetRoot(const std::string& root) override;
  std::string Root() const override { return root_; }
  void SetOnEditing(std::function<bool()> handler) override { on_editing_ = std::move(handler); }

  std::string SelectedFilePath() const override;
  void RemoveSelected() override;
  void RefreshList() override;
  void SetOnDblClick(std::function<void()> handler) override { on_dbl_click_ = std::move(handler); }

  // The names shown, in order.
  const std::vector<std::string>& Names() const { return names_; }
  // Selects the entry of this name; false when it is not shown.
  bool Select(const std::string& name);
  void ClearSelection() { selected_ = -1; }
  // The user double-clicks the selected entry.
  void DblClick() {
    if (on_dbl_click_) on_dbl_click_();
  }
  bool StartEdit() const { return on_editing_ ? on_editing_() : true; }

  // Follows `tree` as the picker's views do: the tree's root and selected folder.
  void LinkTo(FakeFolderTree& tree);

  int set_root_count = 0;
  int refresh_count = 0;

 private:
  void Read();

  std::string root_ = kRootMyComputer;
  std::string folder_;  // the folder shown ("" for the computer)
  std::vector<std::string> names_;
  int selected_ = -1;
  std::function<bool()> on_editing_;
  std::function<void()> on_dbl_click_;
};

}  // namespace qm::testing
