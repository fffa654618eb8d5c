// The file list of the shell views (qt_shell_views.h).
#include <QAbstractListModel>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QListView>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>
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

class FileListWidget : public QListView {
 public:
  FileListWidget(QtFileList& owner, QWidget* parent) : QListView(parent), owner_(owner) {}

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
    if (OpensEditor(*this, state() == EditingState, index, trigger) && !owner_.StartEdit())
      return false;
    return QListView::edit(index, trigger, event);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QListView::mouseDoubleClickEvent(event);
    if (owner_.on_dbl_click_) owner_.boundary_.Run(owner_.on_dbl_click_);
  }

 private:
  QtFileList& owner_;
};

// The list's entries; icons are looked up only for the rows drawn, once per kind of file.
class FileListModel : public QAbstractListModel {
 public:
  using Entry = DiskName;  // the label is made from the on-disk name when drawn

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) return {};
    const Entry& entry = entries_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) return QtOfDisk(entry.disk);
    if (role == Qt::DecorationRole) return Icon(entry);
    return {};
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
  }

  void Reset(std::string folder, std::vector<Entry> entries) {
    beginResetModel();
    folder_ = std::move(folder);
    entries_ = std::move(entries);
    endResetModel();
  }
  const std::vector<Entry>& Entries() const { return entries_; }
  const std::string& Folder() const { return folder_; }
  void Remove(int row) {
    beginRemoveRows({}, row, row);
    entries_.erase(entries_.begin() + row);
    endRemoveRows();
  }
  // Gives a row a new name; it keeps its place until Place.
  void Rename(int row, std::string disk_name) {
    Entry& entry = entries_[static_cast<std::size_t>(row)];
    entry.disk = std::move(disk_name);
    entry.natural.name = AnsiOfDisk(entry.disk);
    entry.natural.key = resources::NaturalSortKey(entry.natural.name, text::Ansi());
    emit dataChanged(index(row), index(row));
  }
  // Moves a row to its place in the order; its new row.
  int Place(int row) {
    const auto before = [](const Entry& a, const Entry& b) { return a.natural < b.natural; };
    Entry entry = std::move(entries_[static_cast<std::size_t>(row)]);
    entries_.erase(entries_.begin() + row);
    const int target = static_cast<int>(
        std::lower_bound(entries_.begin(), entries_.end(), entry, before) - entries_.begin());
    entries_.insert(entries_.begin() + row, std::move(entry));  // back, until the move
    if (target == row) return row;
    beginMoveRows({}, row, row, {}, target > row ? target + 1 : target);
    Entry moving = std::move(entries_[static_cast<std::size_t>(row)]);
    entries_.erase(entries_.begin() + row);
    entries_.insert(entries_.begin() + target, std::move(moving));
    endMoveRows();
    return target;
  }
  int Find(const std::string& disk_name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].disk == disk_name) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  QIcon Icon(const Entry& entry) const {
    const QString suffix = QFileInfo(QtOfDisk(entry.disk)).suffix().toLower();
    auto found = icons_.find(suffix);
    if (found == icons_.end()) {
      const QFileInfo file(QtOfDisk(Join(folder_, entry.disk, '/')));
      found = icons_.insert(suffix, suffix.isEmpty() ? provider_.icon(QFileIconProvider::File)
                                                     : provider_.icon(file));
    }
    return *found;
  }

  std::string folder_;  // on disk
  std::vector<Entry> entries_;
  QFileIconProvider provider_;
  mutable QHash<QString, QIcon> icons_;
};

// ---- QtFileList -----------------------------------------------------------------------

QtFileList::QtFileList(ErrorBoundary& boundary, QWidget* parent)
    : QWidget(parent),
      boundary_(boundary),
      view_(new FileListWidget(*this, this)),
      model_(new FileListModel(this)),
      files_(SystemFileSystem(text::Ansi())) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setModel(model_);
  view_->setViewMode(QListView::ListMode);
  view_->setUniformItemSizes(true);
  PrepareEditing(*view_, [this](const QModelIndex& index, const QString& name) {
    if (index.isValid() && !Rename(index.row(), name)) {
      ReportLater(this, boundary_, RenameFailedMessage(name));
    }
  });

  watcher_ = WatchFolders(this, [this] {
    Reload();
    Watch();
  });
}

QtFileList::~QtFileList() {
  view_->disconnect(this);
  delete view_;
}

QListView& QtFileList::View() const {
  return *view_;
}

void QtFileList::SetOnEditing(std::function<bool()> handler) {
  on_editing_ = std::move(handler);
}

void QtFileList::SetOnDblClick(std::function<void()> handler) {
  on_dbl_click_ = std::move(handler);
}

void QtFileList::SetRoot(const std::string& root) {
  if (SameIgnoringCase(root, root_)) return;
  std::string disk;
  if (!IsComputer(root)) {
    disk = root.empty() ? std::string() : files_->NativePath(root);
    if (!files_->CanOpenFolder(disk)) throw Exception("Error setting path: \"" + root + "\"");
  }
  root_ = root;
  disk_root_ = disk;
  model_->Reset(disk_root_, {});  // a new folder: no selection, from the top
  Reload();
  Watch();
}

void QtFileList::Reload() {
  std::string selected;
  std::string top;
  const QModelIndexList rows = view_->selectionModel()->selectedIndexes();
  const auto& old = model_->Entries();
  if (!rows.isEmpty()) selected = old[static_cast<std::size_t>(rows.first().row())].disk;
  const QModelIndex top_index = view_->indexAt(QPoint(0, 0));
  if (top_index.isValid()) top = old[static_cast<std::size_t>(top_index.row())].disk;

  std::vector<FileListModel::Entry> entries;
  if (!disk_root_.empty()) {
    std::vector<std::string> names;
    files_->ListFolder(disk_root_, FolderEntries::kVisibleFiles,
                       names);  // a folder that has gone shows nothing
    entries = SortedNames(std::move(names));
  }
  model_->Reset(disk_root_, std::move(entries));

  if (const int row = top.empty() ? -1 : model_->Find(top); row >= 0) {
    view_->scrollTo(model_->index(row), QAbstractItemView::PositionAtTop);
  }
  if (const int row = selected.empty() ? -1 : model_->Find(selected); row >= 0) {
    view_->selectionModel()->setCurrentIndex(model_->index(row),
                                             QItemSelectionModel::ClearAndSelect);
  }
}

std::string QtFileList::SelectedFilePath() const {
  const QModelIndexList rows = view_->selectionModel()->selectedIndexes();
  if (rows.isEmpty()) return {};
  const auto& entry = model_->Entries()[static_cast<std::size_t>(rows.first().row())];
  return Join(root_, entry.natural.name, kSeparator);
}

void QtFileList::RemoveSelected() {
  const QModelIndexList rows = view_->selectionModel()->selectedIndexes();
  if (rows.isEmpty()) return;
  model_->Remove(rows.first().row());
  view_->selectionModel()->clearSelection();  // the view would select a neighbour
}

void QtFileList::RefreshList() {
  Reload();
}

std::vector<std::string> QtFileList::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : model_->Entries()) names.push_back(entry.disk);
  return names;
}

bool QtFileList::SelectName(const std::string& name_utf8) {
  const int row = model_->Find(name_utf8);
  if (row < 0) return false;
  view_->selectionModel()->setCurrentIndex(model_->index(row), QItemSelectionModel::ClearAndSelect);
  return true;
}

bool QtFileList::StartEdit() {
  return AskInBoundary(boundary_, on_editing_);
}

bool QtFileList::Rename(int row, const QString& new_name) {
  if (row < 0 || row >= static_cast<int>(model_->Entries().size())) return true;
  std::string renamed;
  const RenameOutcome outcome =
      RenameOnDisk(*files_, disk_root_, model_->Entries()[static_cast<std::size_t>(row)].disk,
                   new_name, renamed);
  if (outcome == RenameOutcome::kKeep) return true;
  if (outcome == RenameOutcome::kRefused) return false;
  model_->Rename(row, renamed);
  // The row moves to its place in the order once the editor has closed.
  QMetaObject::invokeMethod(
      this,
      [this, renamed] {
        const int at = model_->Find(renamed);
        if (at < 0) return;
        const bool was_selected = view_->selectionModel()->isRowSelected(at, {});
        const int moved = model_->Place(at);
        if (was_selected && moved != at) {
          view_->selectionModel()->setCurrentIndex(model_->index(moved),
                                                   QItemSelectionModel::ClearAndSelect);
        }
      },
      Qt::QueuedConnection);
  return true;
}

void QtFileList::SetAutoRefresh(bool on) {
  auto_refresh_ = on;
  Watch();
}

void QtFileList::Watch() {
  const QStringList wanted = auto_refresh_ ? FoldersToWatch(*files_, disk_root_) : QStringList();
  const QStringList watched = watcher_->directories();
  if (watched == wanted) return;
  if (!watched.isEmpty()) watcher_->removePaths(watched);
  if (!wanted.isEmpty()) watcher_->addPaths(wanted);
}

}  // namespace qm::qt
