// The folder tree of the shell views (qt_shell_views.h).
#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileSystemWatcher>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "qt/qt_shell_view_parts.h"
#include "qt/qt_shell_views.h"
#include "resources/natural_order.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::qt {

using namespace views;

namespace {

// ---- Tree nodes -----------------------------------------------------------------------

enum NodeRole {
  kAnsiPathRole = Qt::UserRole,  // QByteArray: the folder's ANSI path ("" for the computer)
  kDiskPathRole,                 // QByteArray: the folder on disk
  kDiskNameRole,                 // QByteArray: the on-disk name below its parent
  kAnsiNameRole,                 // QByteArray: the ANSI name (sort order)
  kKeyRole,                      // QByteArray: the natural sort key of the ANSI name
  kLoadedRole,                   // bool: its subfolders have been read
  kKindRole,                     // NodeKind
};

enum NodeKind { kFolderNode = 0, kTopNode = 1, kPlaceNode = 2 };

std::string Bytes(const QTreeWidgetItem* item, int role) {
  const QByteArray bytes = item->data(0, role).toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray ByteArray(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

int Kind(const QTreeWidgetItem* item) {
  return item->data(0, kKindRole).toInt();
}

bool Loaded(const QTreeWidgetItem* item) {
  return item->data(0, kLoadedRole).toBool();
}

resources::NaturalName NaturalOf(const QTreeWidgetItem* item) {
  return {Bytes(item, kAnsiNameRole), Bytes(item, kKeyRole)};
}

bool InSubtree(const QTreeWidgetItem* item, const QTreeWidgetItem* root) {
  for (; item != nullptr; item = item->parent()) {
    if (item == root) return true;
  }
  return false;
}

}  // namespace

class FolderTreeWidget : public QTreeWidget {
 public:
  FolderTreeWidget(QtFolderTree& owner, QWidget* parent) : QTreeWidget(parent), owner_(owner) {}

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
    if (OpensEditor(*this, state() == EditingState, index, trigger) &&
        !owner_.StartEdit(itemFromIndex(index))) {
      return false;
    }
    return QTreeWidget::edit(index, trigger, event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    QTreeWidget::mouseReleaseEvent(event);
    if (owner_.on_click_) owner_.boundary_.Run(owner_.on_click_);
  }

 private:
  QtFolderTree& owner_;
};

// ---- QtFolderTree ---------------------------------------------------------------------

QtFolderTree::QtFolderTree(ErrorBoundary& boundary, QWidget* parent)
    : QWidget(parent),
      boundary_(boundary),
      view_(new FolderTreeWidget(*this, this)),
      files_(SystemFileSystem(text::Ansi())) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setColumnCount(1);
  view_->setHeaderHidden(true);
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  PrepareEditing(*view_, [this](const QModelIndex& index, const QString& name) {
    QTreeWidgetItem* item = view_->itemFromIndex(index);
    if (item != nullptr && Live(item) != nullptr && !Rename(item, name)) {
      ReportLater(this, boundary_, RenameFailedMessage(name));
    }
  });
  connect(view_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (!Loaded(item)) LoadChildren(item);
  });
  connect(view_, &QTreeWidget::currentItemChanged, this, [this] { OnCurrentChanged(); });

  watcher_ = WatchFolders(this, [this] { OnWatchedChange(); });

  Rebuild(root_, {});
}

QtFolderTree::~QtFolderTree() {
  // The view goes first, while everything its signals reach is still there.
  ++quiet_;
  view_->disconnect(this);
  delete view_;
}

QTreeWidget& QtFolderTree::View() const {
  return *view_;
}

void QtFolderTree::SetOnEditing(std::function<bool()> handler) {
  on_editing_ = std::move(handler);
}

void QtFolderTree::SetOnClick(std::function<void()> handler) {
  on_click_ = std::move(handler);
}

void QtFolderTree::SetRoot(const std::string& root) {
  if (SameIgnoringCase(root, root_)) return;
  if (IsComputer(root)) {
    Rebuild(root, {});
  } else {
    const std::string disk = root.empty() ? std::string() : files_->NativePath(root);
    if (!files_->CanOpenFolder(disk)) {
      // The tree stays on its previous root, read afresh.
      Rebuild(root_, IsComputer(root_) ? std::string() : files_->NativePath(root_));
      WatchSelection();
      throw Exception("Error setting path: \"" + root + "\"");
    }
    Rebuild(root, disk);
  }
  root_ = root;
  WatchSelection();
  if (linked_list_) linked_list_->SetRoot(root);
  emit rootChanged();
}

void QtFolderTree::Rebuild(const std::string& root, const std::string& disk_root) {
  ++quiet_;
  live_.clear();
  view_->clear();
  auto* top = new QTreeWidgetItem;
  top->setData(0, kKindRole, kTopNode);
  live_.insert(top);
  QFileIconProvider icons;
  if (IsComputer(root)) {
    top->setText(0, QApplication::translate("QtFolderTree", "Computer"));
    top->setIcon(0, icons.icon(QFileIconProvider::Computer));
    top->setData(0, kLoadedRole, true);
    view_->addTopLevelItem(top);
    // The user's home folder and the file system's root, as a file manager offers them.
    const std::string home = DiskOfQt(QDir::homePath());
    for (const std::string& place : {home, std::string("/")}) {
      if (!files_->CanOpenFolder(place)) continue;
      auto* item = new QTreeWidgetItem(top);
      live_.insert(item);
      item->setText(0, DisplayName(place));
      item->setIcon(
          0, icons.icon(place == "/" ? QFileIconProvider::Drive : QFileIconProvider::Folder));
      item->setData(0, kKindRole, kPlaceNode);
      item->setData(0, kAnsiPathRole, ByteArray(AnsiOfDisk(place)));
      item->setData(0, kDiskPathRole, ByteArray(place));
      item->setChildIndicatorPolicy(files_->HasSubfolder(place)
                                        ? QTreeWidgetItem::ShowIndicator
                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
  } else {
    top->setText(0, DisplayName(disk_root));
    top->setIcon(0, icons.icon(QFileIconProvider::Folder));
    top->setData(0, kAnsiPathRole, ByteArray(root));
    top->setData(0, kDiskPathRole, ByteArray(disk_root));
    view_->addTopLevelItem(top);
    LoadChildren(top);
  }
  view_->expandItem(top);
  view_->setCurrentItem(top);
  view_->scrollToItem(top, QAbstractItemView::PositionAtTop);
  --quiet_;
}

QTreeWidgetItem* QtFolderTree::AddFolderItem(QTreeWidgetItem* parent, const std::string& disk_name,
                                             int index) {
  auto* item = new QTreeWidgetItem;
  live_.insert(item);
  const std::string ansi_name = AnsiOfDisk(disk_name);
  const std::string disk = Join(Bytes(parent, kDiskPathRole), disk_name, '/');
  item->setText(0, QtOfDisk(disk_name));
  item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setData(0, kKindRole, kFolderNode);
  item->setData(0, kAnsiPathRole,
                ByteArray(Join(Bytes(parent, kAnsiPathRole), ansi_name, kSeparator)));
  item->setData(0, kDiskPathRole, ByteArray(disk));
  item->setData(0, kDiskNameRole, ByteArray(disk_name));
  item->setData(0, kAnsiNameRole, ByteArray(ansi_name));
  item->setData(0, kKeyRole, ByteArray(resources::NaturalSortKey(ansi_name, text::Ansi())));
  item->setChildIndicatorPolicy(files_->HasSubfolder(disk)
                                    ? QTreeWidgetItem::ShowIndicator
                                    : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  if (index < 0) {
    parent->addChild(item);
  } else {
    parent->insertChild(index, item);
  }
  return item;
}

void QtFolderTree::LoadChildren(QTreeWidgetItem* item) {
  item->setData(0, kLoadedRole, true);
  std::vector<std::string> names;
  files_->ListFolder(Bytes(item, kDiskPathRole), FolderEntries::kVisibleFolders, names);
  for (const DiskName& name : SortedNames(std::move(names))) AddFolderItem(item, name.disk, -1);
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void QtFolderTree::Reconcile(QTreeWidgetItem* item, bool deep) {
  if (Kind(item) == kTopNode && IsComputer(root_)) {
    // The computer's places do not change; what lies below them may.
  } else if (!Loaded(item)) {
    item->setChildIndicatorPolicy(files_->HasSubfolder(Bytes(item, kDiskPathRole))
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return;
  } else {
    std::vector<std::string> names;
    files_->ListFolder(Bytes(item, kDiskPathRole), FolderEntries::kVisibleFolders, names);
    const std::unordered_set<std::string> on_disk(names.begin(), names.end());
    std::unordered_set<std::string> shown;
    for (int i = item->childCount() - 1; i >= 0; --i) {
      QTreeWidgetItem* child = item->child(i);
      std::string name = Bytes(child, kDiskNameRole);
      if (on_disk.count(name) != 0) {
        shown.insert(std::move(name));
      } else {
        DeleteItem(child);
      }
    }
    for (const DiskName& name : SortedNames(std::move(names))) {
      if (shown.count(name.disk) != 0) continue;
      int index = 0;
      while (index < item->childCount() && NaturalOf(item->child(index)) < name.natural) ++index;
      AddFolderItem(item, name.disk, index);
    }
  }
  if (!deep) return;
  for (int i = 0; i < item->childCount(); ++i) Reconcile(item->child(i), true);
}

void QtFolderTree::Forget(QTreeWidgetItem* item) {
  live_.erase(item);
  for (int i = 0; i < item->childCount(); ++i) Forget(item->child(i));
}

void QtFolderTree::DeleteItem(QTreeWidgetItem* item) {
  Forget(item);
  delete item;
}

QTreeWidgetItem* QtFolderTree::Live(TreeNodeHandle node) const {
  if (node == nullptr || live_.count(node) == 0) return nullptr;
  return const_cast<QTreeWidgetItem*>(static_cast<const QTreeWidgetItem*>(node));
}

std::string QtFolderTree::SelectedPath() const {
  const QTreeWidgetItem* item = view_->currentItem();
  return item == nullptr ? std::string() : Bytes(item, kAnsiPathRole);
}

TreeNodeHandle QtFolderTree::Selected() const {
  return view_->currentItem();
}

void QtFolderTree::Select(TreeNodeHandle node) {
  QTreeWidgetItem* item = Live(node);
  if (item == nullptr) return;
  view_->setCurrentItem(item);
  view_->scrollToItem(item);
}

TreeNodeHandle QtFolderTree::TopItem() const {
  QTreeWidgetItem* item = view_->itemAt(0, 0);
  if (item == nullptr) item = view_->topLevelItem(0);
  return item;
}

void QtFolderTree::RemoveNode(TreeNodeHandle node) {
  QTreeWidgetItem* item = Live(node);
  if (item == nullptr) return;
  DeleteItem(item);
}

void QtFolderTree::RefreshNode(TreeNodeHandle node) {
  QTreeWidgetItem* item = Live(node);
  if (item == nullptr) return;
  WaitCursor wait;
  QTreeWidgetItem* const selected = view_->currentItem();
  std::vector<QTreeWidgetItem*> selected_chain;  // the selection and its ancestors
  for (QTreeWidgetItem* up = selected; up != nullptr; up = up->parent()) {
    selected_chain.push_back(up);
  }
  const TreeNodeHandle top = TopItem();

  ++quiet_;
  if (Kind(item) == kFolderNode && !files_->CanOpenFolder(Bytes(item, kDiskPathRole))) {
    DeleteItem(item);  // the folder has gone
  } else {
    Reconcile(item, true);
  }
  for (QTreeWidgetItem* candidate : selected_chain) {
    if (Live(candidate) != nullptr) {
      view_->setCurrentItem(candidate);
      break;
    }
  }
  if (QTreeWidgetItem* still = Live(top)) {
    view_->scrollToItem(still, QAbstractItemView::PositionAtTop);
  }
  --quiet_;
  if (view_->currentItem() != selected) OnCurrentChanged();
}

TreeNodeHandle QtFolderTree::FindNode(const std::string& path) const {
  for (const void* node : live_) {
    const auto* item = static_cast<const QTreeWidgetItem*>(node);
    if (Kind(item) != kTopNode || !IsComputer(root_)) {
      if (Bytes(item, kAnsiPathRole) == path) return item;
    }
  }
  return nullptr;
}

std::string QtFolderTree::NodePath(TreeNodeHandle node) const {
  const QTreeWidgetItem* item = Live(node);
  return item == nullptr ? std::string() : Bytes(item, kAnsiPathRole);
}

void QtFolderTree::Expand(TreeNodeHandle node) {
  if (QTreeWidgetItem* item = Live(node)) view_->expandItem(item);
}

bool QtFolderTree::IsExpanded(TreeNodeHandle node) const {
  const QTreeWidgetItem* item = Live(node);
  return item != nullptr && item->isExpanded();
}

bool QtFolderTree::StartEdit(QTreeWidgetItem* item) {
  if (item == nullptr || Kind(item) != kFolderNode) return false;
  return AskInBoundary(boundary_, on_editing_);
}

bool QtFolderTree::Rename(QTreeWidgetItem* item, const QString& new_name) {
  if (Kind(item) != kFolderNode) return true;
  const std::string old_name = Bytes(item, kDiskNameRole);
  std::string renamed;
  const RenameOutcome outcome =
      RenameOnDisk(*files_, Bytes(item->parent(), kDiskPathRole), old_name, new_name, renamed);
  if (outcome == RenameOutcome::kKeep) return true;
  if (outcome == RenameOutcome::kRefused) return false;

  QTreeWidgetItem* parent = item->parent();
  const std::string ansi_name = AnsiOfDisk(renamed);
  item->setText(0, QtOfDisk(renamed));
  item->setData(0, kDiskNameRole, ByteArray(renamed));
  item->setData(0, kAnsiNameRole, ByteArray(ansi_name));
  item->setData(0, kKeyRole, ByteArray(resources::NaturalSortKey(ansi_name, text::Ansi())));
  Repath(item, Join(Bytes(parent, kAnsiPathRole), ansi_name, kSeparator),
         Join(Bytes(parent, kDiskPathRole), renamed, '/'));
  // Its place among its siblings changes once the editor has closed; moving a node takes
  // it out of the tree for a moment, so its subtree's expanded state is carried over.
  QMetaObject::invokeMethod(
      this,
      [this, item] {
        if (Live(item) == nullptr || item->parent() == nullptr) return;
        QTreeWidgetItem* parent = item->parent();
        int target = 0;
        for (int i = 0; i < parent->childCount(); ++i) {
          if (parent->child(i) != item && NaturalOf(parent->child(i)) < NaturalOf(item)) ++target;
        }
        if (parent->indexOfChild(item) == target) return;
        std::vector<QTreeWidgetItem*> expanded;
        std::vector<QTreeWidgetItem*> pending{item};
        while (!pending.empty()) {
          QTreeWidgetItem* next = pending.back();
          pending.pop_back();
          if (next->isExpanded()) expanded.push_back(next);
          for (int i = 0; i < next->childCount(); ++i) pending.push_back(next->child(i));
        }
        QTreeWidgetItem* const selected = view_->currentItem();
        const bool was_selected = InSubtree(selected, item);
        ++quiet_;
        parent->takeChild(parent->indexOfChild(item));
        parent->insertChild(target, item);
        for (QTreeWidgetItem* open : expanded) open->setExpanded(true);
        if (was_selected) view_->setCurrentItem(selected);
        --quiet_;
        if (view_->currentItem() != selected) OnCurrentChanged();
      },
      Qt::QueuedConnection);
  // The selected folder has a new path: a watcher and a linked list follow it.
  if (InSubtree(view_->currentItem(), item)) OnCurrentChanged();
  return true;
}

void QtFolderTree::Repath(QTreeWidgetItem* item, const std::string& ansi_path,
                          const std::string& disk_path) {
  item->setData(0, kAnsiPathRole, ByteArray(ansi_path));
  item->setData(0, kDiskPathRole, ByteArray(disk_path));
  for (int i = 0; i < item->childCount(); ++i) {
    QTreeWidgetItem* child = item->child(i);
    Repath(child, Join(ansi_path, Bytes(child, kAnsiNameRole), kSeparator),
           Join(disk_path, Bytes(child, kDiskNameRole), '/'));
  }
}

void QtFolderTree::OnCurrentChanged() {
  if (quiet_ > 0) return;
  WatchSelection();
  if (linked_list_) {
    const std::string path = SelectedPath();
    QtFileList& list = *linked_list_;
    boundary_.Run([&] { list.SetRoot(path.empty() ? std::string(kRootMyComputer) : path); });
  }
  emit selectionMoved();
}

void QtFolderTree::SetAutoRefresh(bool on) {
  auto_refresh_ = on;
  WatchSelection();
}

void QtFolderTree::WatchSelection() {
  const QTreeWidgetItem* item = view_->currentItem();
  const std::string folder =
      auto_refresh_ && item != nullptr ? Bytes(item, kDiskPathRole) : std::string();
  const QStringList wanted = FoldersToWatch(*files_, folder);
  if (folder == watched_ && watcher_->directories() == wanted) return;
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  watched_ = folder;
  if (!wanted.isEmpty()) watcher_->addPaths(wanted);
}

void QtFolderTree::OnWatchedChange() {
  QTreeWidgetItem* item = view_->currentItem();
  if (item == nullptr) return;
  if (Kind(item) != kFolderNode || files_->CanOpenFolder(Bytes(item, kDiskPathRole))) {
    QTreeWidgetItem* const selected = view_->currentItem();
    ++quiet_;
    Reconcile(item, false);
    --quiet_;
    if (view_->currentItem() != selected) OnCurrentChanged();
  } else {
    // The selected folder itself has gone: re-read from the nearest folder that exists.
    QTreeWidgetItem* up = item->parent();
    while (up != nullptr && Kind(up) == kFolderNode &&
           !files_->CanOpenFolder(Bytes(up, kDiskPathRole))) {
      up = up->parent();
    }
    if (up != nullptr) RefreshNode(up);
  }
  WatchSelection();
}
void LinkViews(QtFolderTree& tree, QtFileList& list) {
  tree.linked_list_ = &list;
  list.SetRoot(tree.SelectedPath().empty() ? std::string(kRootMyComputer) : tree.SelectedPath());
}

}  // namespace qm::qt
