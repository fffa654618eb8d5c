#include "support/fake_shell_views.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::testing {

namespace fs = std::filesystem;

namespace {

// Visible entries of a folder (no names starting with "."), sorted; folders or files.
std::vector<std::string> Entries(const std::string& folder, bool folders) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code type_ec;
    if (it->is_directory(type_ec) == folders) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return text::LowerAscii(a) == text::LowerAscii(b);
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return path != kRootMyComputer && fs::is_directory(path, ec);
}

}  // namespace

// ---------------------------------------------------------------- tree

FakeFolderTree::Item* FakeFolderTree::Find(TreeNodeHandle node) const {
  for (const auto& [path, item] : items_) {
    if (item.get() == node) return item.get();
  }
  return nullptr;
}

TreeNodeHandle FakeFolderTree::Node(const std::string& path) const {
  const auto it = items_.find(path);
  return it == items_.end() ? nullptr : it->second.get();
}

std::string FakeFolderTree::NodePath(TreeNodeHandle node) const {
  const Item* item = Find(node);
  return item ? item->path : std::string();
}

void FakeFolderTree::Build(const std::string& root) {
  items_.clear();
  selected_ = top_ = nullptr;
  if (!IsFolder(root)) return;  // the computer: nothing of the file system to show
  auto item = std::make_unique<Item>();
  item->path = root;
  Item* top = item.get();
  items_[root] = std::move(item);
  ReadChildren(root);
  top_ = top;
  MoveSelection(top);
}

void FakeFolderTree::ReadChildren(const std::string& path) {
  Item* parent = items_.at(path).get();
  parent->expanded = true;
  for (const std::string& name : Entries(path, true)) {
    const std::string child = Join(path, name);
    if (!items_.count(child)) {
      auto item = std::make_unique<Item>();
      item->path = child;
      items_[child] = std::move(item);
    }
  }
}

void FakeFolderTree::SetRoot(const std::string& root) {
  if (SameIgnoringCase(root, root_)) return;
  if (root != kRootMyComputer && !IsFolder(root)) {
    Build(root_);  // rebuilt on the previous root
    throw Exception("Error setting path: \"" + root + "\"");
  }
  root_ = root;
  Build(root);
  ++set_root_count;
  if (on_root_set) on_root_set();
}

std::string FakeFolderTree::SelectedPath() const {
  return selected_ ? selected_->path : std::string();
}

void FakeFolderTree::MoveSelection(Item* item) {
  if (item == selected_) return;
  selected_ = item;
  if (on_selection_moved) on_selection_moved();
}

void FakeFolderTree::Select(TreeNodeHandle node) {
  MoveSelection(Find(node));
}

bool FakeFolderTree::SelectWithKeyboard(const std::string& path) {
  Item* item = Find(Node(path));
  if (item == nullptr) return false;
  MoveSelection(item);
  return true;
}

bool FakeFolderTree::Click(const std::string& path) {
  if (!SelectWithKeyboard(path)) return false;
  if (on_click_) on_click_();
  return true;
}

bool FakeFolderTree::Expand(const std::string& path) {
  if (!items_.count(path)) return false;
  ReadChildren(path);
  return true;
}

void FakeFolderTree::RemoveNode(TreeNodeHandle node) {
  const Item* item = Find(node);
  if (item == nullptr) return;
  const std::string path = item->path;
  const std::string below = path + "/";
  for (auto it = items_.begin(); it != items_.end();) {
    if (it->first == path || it->first.rfind(below, 0) == 0) {
      if (it->second.get() == top_) top_ = path == root_ ? nullptr : Find(Node(root_));
      if (it->second.get() == selected_) MoveSelection(nullptr);
      it = items_.erase(it);
    } else {
      ++it;
    }
  }
}

void FakeFolderTree::RefreshNode(TreeNodeHandle node) {
  const Item* item = Find(node);
  if (item == nullptr) return;
  const std::string path = item->path;
  refreshed.push_back(path);
  const std::string below = path + "/";
  // Nodes of folders that are gone leave; loaded levels are read again.
  std::vector<std::string> loaded;
  for (auto it = items_.begin(); it != items_.end();) {
    const bool inside = it->first == path || it->first.rfind(below, 0) == 0;
    if (inside && !IsFolder(it->first)) {
      if (it->second.get() == selected_) MoveSelection(nullptr);
      if (it->second.get() == top_) top_ = nullptr;
      it = items_.erase(it);
      continue;
    }
    if (inside && (it->second->expanded || it->first == path)) loaded.push_back(it->first);
    ++it;
  }
  for (const std::string& folder : loaded) ReadChildren(folder);
}

// ---------------------------------------------------------------- list

void FakeFileList::Read() {
  names_ = IsFolder(folder_) ? Entries(folder_, false) : std::vector<std::string>();
}

void FakeFileList::SetRoot(const std::string& root) {
  if (SameIgnoringCase(root, root_)) return;
  if (root != kRootMyComputer && !IsFolder(root)) {
    throw Exception("Error setting path: \"" + root + "\"");
  }
  root_ = root;
  folder_ = root == kRootMyComputer ? std::string() : root;
  selected_ = -1;
  Read();
  ++set_root_count;
}

std::string FakeFileList::SelectedFilePath() const {
  if (selected_ < 0) return {};
  return Join(folder_, names_[static_cast<std::size_t>(selected_)]);
}

void FakeFileList::RemoveSelected() {
  if (selected_ < 0) return;
  names_.erase(names_.begin() + selected_);
  selected_ = -1;
}

void FakeFileList::RefreshList() {
  ++refresh_count;
  const std::string selected =
      selected_ < 0 ? std::string() : names_[static_cast<std::size_t>(selected_)];
  Read();
  selected_ = -1;
  if (!selected.empty()) Select(selected);
}

bool FakeFileList::Select(const std::string& name) {
  const auto it = std::find(names_.begin(), names_.end(), name);
  if (it == names_.end()) return false;
  selected_ = static_cast<int>(it - names_.begin());
  return true;
}

void FakeFileList::LinkTo(FakeFolderTree& tree) {
  tree.on_root_set = [this, &tree] { SetRoot(tree.Root()); };
  tree.on_selection_moved = [this, &tree] {
    const std::string folder = tree.SelectedPath();
    if (folder.empty() || folder == folder_) return;
    folder_ = folder;
    selected_ = -1;
    Read();
  };
}

}  // namespace qm::testing
