#include "qt/qt_shell_views.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <QAbstractListModel>
#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "resources/natural_order.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::qt {

namespace {

// ---- Paths ----------------------------------------------------------------------------
// ANSI paths are the shell's; on-disk paths and names are UTF-8 bytes, as the file layer
// resolves them.

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// How long the views wait after a change reported by the watcher before reading the
// folder, so that a burst of changes is read once.
constexpr int kWatchDelayMs = 40;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// `folder` + separator + `name`; no second separator after one that ends `folder`.
std::string Join(const std::string& folder, const std::string& name, char separator) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return folder + name;
  return folder + separator + name;
}

std::string AnsiOfDisk(const std::string& utf8) {
  return text::Ansi().FromUtf8(utf8);
}

QString QtOfDisk(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string DiskOfQt(const QString& name) {
  return name.toUtf8().toStdString();
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && text::LowerAscii(a) == text::LowerAscii(b);
}

bool IsComputer(const std::string& root) {
  return SameIgnoringCase(root, kRootMyComputer);
}

// The last component of an on-disk folder path: the name a view shows for it.
QString DisplayName(const std::string& disk) {
  std::size_t end = disk.size();
  while (end > 1 && disk[end - 1] == '/') --end;
  const std::size_t slash = disk.rfind('/', end - 1);
  if (slash == std::string::npos || end == 1) return QtOfDisk(disk.substr(0, end));
  return QtOfDisk(disk.substr(slash + 1, end - slash - 1));
}

// ---- Reading folders ------------------------------------------------------------------

enum class Want { kFolders, kFiles };

// The names of the visible entries of one kind in `folder`: folders (or links to
// folders) or regular files (or links to them); names starting with "." are hidden.
// With `first_only`, stops at the first one. False when the folder cannot be opened.
bool ReadFolder(const std::string& folder, Want want, std::vector<std::string>& names,
                bool first_only = false) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.') continue;
    unsigned char type = entry->d_type;
    if (type == DT_LNK || type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(::dirfd(dir), name, &st, 0) != 0) continue;  // a dangling link
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type != (want == Want::kFolders ? DT_DIR : DT_REG)) continue;
    names.emplace_back(name);
    if (first_only) break;
  }
  ::closedir(dir);
  return true;
}

bool CanOpenFolder(const std::string& folder) {
  if (folder.empty()) return false;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  ::closedir(dir);
  return true;
}

bool HasSubfolder(const std::string& folder) {
  std::vector<std::string> names;
  return ReadFolder(folder, Want::kFolders, names, true) && !names.empty();
}

// A name as read from disk, with what the views need of it.
struct DiskName {
  resources::NaturalName natural;  // the ANSI name and its sort key
  std::string disk;                // the on-disk name (UTF-8)
};

std::vector<DiskName> SortedNames(std::vector<std::string>&& disk_names) {
  std::vector<DiskName> out;
  out.reserve(disk_names.size());
  const text::CodePage& ansi = text::Ansi();
  for (std::string& disk : disk_names) {
    std::string name = AnsiOfDisk(disk);
    std::string key = resources::NaturalSortKey(name, ansi);
    out.push_back({{std::move(name), std::move(key)}, std::move(disk)});
  }
  std::sort(out.begin(), out.end(),
            [](const DiskName& a, const DiskName& b) { return a.natural < b.natural; });
  return out;
}

// ---- Renaming -------------------------------------------------------------------------

enum class RenameOutcome { kKeep, kRenamed, kRefused };

// Renames `old_name` in `folder` (both on disk) to `new_name`. An empty or unchanged name
// keeps the old one. Refused: a name with a separator or NUL, "." or "..", a name that
// another entry of the folder has in any letter case (paths are found ignoring case, so
// two such names could not be told apart), or a refusal of the file system. The rename
// never replaces an existing entry.
RenameOutcome RenameOnDisk(const std::string& folder, const std::string& old_name,
                           const QString& new_name, std::string& renamed) {
  if (new_name.isEmpty()) return RenameOutcome::kKeep;
  renamed = DiskOfQt(new_name);
  if (renamed == old_name) return RenameOutcome::kKeep;
  if (renamed == "." || renamed == ".." ||
      renamed.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
    return RenameOutcome::kRefused;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return RenameOutcome::kRefused;
  bool taken = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name == old_name) continue;
    if (QString::compare(QString::fromUtf8(entry->d_name), new_name, Qt::CaseInsensitive) == 0) {
      taken = true;
      break;
    }
  }
  ::closedir(dir);
  if (taken) return RenameOutcome::kRefused;

  const std::string from = Join(folder, old_name, '/');
  const std::string to = Join(folder, renamed, '/');
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return RenameOutcome::kRenamed;
  }
  if (errno != EINVAL && errno != ENOSYS) return RenameOutcome::kRefused;
#endif
  // No atomic "do not replace" here: the test above has made sure the name is free.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return RenameOutcome::kRefused;
  return ::rename(from.c_str(), to.c_str()) == 0 ? RenameOutcome::kRenamed
                                                 : RenameOutcome::kRefused;
}

std::string RenameFailedMessage(const QString& new_name) {
  return "Rename to " + AnsiOfDisk(DiskOfQt(new_name)) + " failed";
}

// Commits an edited label through the view's rename instead of writing the model.
class RenameDelegate : public QStyledItemDelegate {
 public:
  RenameDelegate(std::function<void(const QModelIndex&, const QString&)> rename, QObject* parent)
      : QStyledItemDelegate(parent), rename_(std::move(rename)) {}

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) rename_(index, line->text());
  }

 private:
  std::function<void(const QModelIndex&, const QString&)> rename_;
};

// Whether the view would open an editor for this trigger (as QAbstractItemView decides),
// so that OnEditing is asked only when an edit really starts.
bool OpensEditor(const QAbstractItemView& view, bool editing, const QModelIndex& index,
                 QAbstractItemView::EditTrigger trigger) {
  if (editing || !index.isValid() || !(index.flags() & Qt::ItemIsEditable)) return false;
  if (trigger == QAbstractItemView::AllEditTriggers) return true;
  // A click on the selected item only schedules the edit; it comes back with
  // AllEditTriggers when no double-click followed.
  if (trigger == QAbstractItemView::SelectedClicked) return false;
  return (view.editTriggers() & trigger) != 0;
}

void KeepSelectionVisible(QAbstractItemView& view) {
  QPalette palette = view.palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  view.setPalette(palette);
}

// Runs `handler` inside the boundary; false when it raised (or answered false).
bool AskInBoundary(ErrorBoundary& boundary, const std::function<bool()>& handler) {
  if (!handler) return true;
  bool allowed = false;
  boundary.Run([&] { allowed = handler(); });
  return allowed;
}

// Reports an error through the boundary from the event loop, after the current event
// (an edit being committed) has ended.
void ReportLater(QObject* context, ErrorBoundary& boundary, std::string message) {
  QMetaObject::invokeMethod(
      context,
      [&boundary, message = std::move(message)] {
        boundary.Report(std::make_exception_ptr(Exception(message)));
      },
      Qt::QueuedConnection);
}

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

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

// ---- The Qt views ---------------------------------------------------------------------

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

// ---- QtFolderTree ---------------------------------------------------------------------

QtFolderTree::QtFolderTree(ErrorBoundary& boundary, QWidget* parent)
    : QWidget(parent),
      boundary_(boundary),
      view_(new FolderTreeWidget(*this, this)),
      files_(text::Ansi()) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setColumnCount(1);
  view_->setHeaderHidden(true);
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setItemDelegate(new RenameDelegate(
      [this](const QModelIndex& index, const QString& name) {
        QTreeWidgetItem* item = view_->itemFromIndex(index);
        if (item != nullptr && Live(item) != nullptr && !Rename(item, name)) {
          ReportLater(this, boundary_, RenameFailedMessage(name));
        }
      },
      view_));
  KeepSelectionVisible(*view_);
  connect(view_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (!Loaded(item)) LoadChildren(item);
  });
  connect(view_, &QTreeWidget::currentItemChanged, this, [this] { OnCurrentChanged(); });

  watcher_ = new QFileSystemWatcher(this);
  watch_delay_ = new QTimer(this);
  watch_delay_->setSingleShot(true);
  watch_delay_->setInterval(kWatchDelayMs);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, watch_delay_,
          qOverload<>(&QTimer::start));
  connect(watch_delay_, &QTimer::timeout, this, [this] { OnWatchedChange(); });

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
    const std::string disk = root.empty() ? std::string() : files_.Resolve(root).string();
    if (!CanOpenFolder(disk)) {
      // The tree stays on its previous root, read afresh.
      Rebuild(root_, IsComputer(root_) ? std::string() : files_.Resolve(root_).string());
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
      if (!CanOpenFolder(place)) continue;
      auto* item = new QTreeWidgetItem(top);
      live_.insert(item);
      item->setText(0, DisplayName(place));
      item->setIcon(
          0, icons.icon(place == "/" ? QFileIconProvider::Drive : QFileIconProvider::Folder));
      item->setData(0, kKindRole, kPlaceNode);
      item->setData(0, kAnsiPathRole, ByteArray(AnsiOfDisk(place)));
      item->setData(0, kDiskPathRole, ByteArray(place));
      item->setChildIndicatorPolicy(HasSubfolder(place)
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
  item->setChildIndicatorPolicy(HasSubfolder(disk)
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
  ReadFolder(Bytes(item, kDiskPathRole), Want::kFolders, names);
  for (const DiskName& name : SortedNames(std::move(names))) AddFolderItem(item, name.disk, -1);
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void QtFolderTree::Reconcile(QTreeWidgetItem* item, bool deep) {
  if (Kind(item) == kTopNode && IsComputer(root_)) {
    // The computer's places do not change; what lies below them may.
  } else if (!Loaded(item)) {
    item->setChildIndicatorPolicy(HasSubfolder(Bytes(item, kDiskPathRole))
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return;
  } else {
    std::vector<std::string> names;
    ReadFolder(Bytes(item, kDiskPathRole), Want::kFolders, names);
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
  if (Kind(item) == kFolderNode && !CanOpenFolder(Bytes(item, kDiskPathRole))) {
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
      RenameOnDisk(Bytes(item->parent(), kDiskPathRole), old_name, new_name, renamed);
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
  const QString wanted = QtOfDisk(folder);
  if (folder == watched_ && (folder.empty() || watcher_->directories().contains(wanted))) return;
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  watched_ = folder;
  if (!folder.empty()) watcher_->addPath(wanted);
}

void QtFolderTree::OnWatchedChange() {
  QTreeWidgetItem* item = view_->currentItem();
  if (item == nullptr) return;
  if (Kind(item) != kFolderNode || CanOpenFolder(Bytes(item, kDiskPathRole))) {
    QTreeWidgetItem* const selected = view_->currentItem();
    ++quiet_;
    Reconcile(item, false);
    --quiet_;
    if (view_->currentItem() != selected) OnCurrentChanged();
  } else {
    // The selected folder itself has gone: re-read from the nearest folder that exists.
    QTreeWidgetItem* up = item->parent();
    while (up != nullptr && Kind(up) == kFolderNode && !CanOpenFolder(Bytes(up, kDiskPathRole))) {
      up = up->parent();
    }
    if (up != nullptr) RefreshNode(up);
  }
  WatchSelection();
}

// ---- QtFileList -----------------------------------------------------------------------

QtFileList::QtFileList(ErrorBoundary& boundary, QWidget* parent)
    : QWidget(parent),
      boundary_(boundary),
      view_(new FileListWidget(*this, this)),
      model_(new FileListModel(this)),
      files_(text::Ansi()) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setModel(model_);
  view_->setViewMode(QListView::ListMode);
  view_->setUniformItemSizes(true);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setItemDelegate(new RenameDelegate(
      [this](const QModelIndex& index, const QString& name) {
        if (index.isValid() && !Rename(index.row(), name)) {
          ReportLater(this, boundary_, RenameFailedMessage(name));
        }
      },
      view_));
  KeepSelectionVisible(*view_);

  watcher_ = new QFileSystemWatcher(this);
  watch_delay_ = new QTimer(this);
  watch_delay_->setSingleShot(true);
  watch_delay_->setInterval(kWatchDelayMs);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, watch_delay_,
          qOverload<>(&QTimer::start));
  connect(watch_delay_, &QTimer::timeout, this, [this] {
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
    disk = root.empty() ? std::string() : files_.Resolve(root).string();
    if (!CanOpenFolder(disk)) throw Exception("Error setting path: \"" + root + "\"");
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
    ReadFolder(disk_root_, Want::kFiles, names);  // a folder that has gone shows nothing
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
  const RenameOutcome outcome = RenameOnDisk(
      disk_root_, model_->Entries()[static_cast<std::size_t>(row)].disk, new_name, renamed);
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
  const QString wanted = auto_refresh_ ? QtOfDisk(disk_root_) : QString();
  const QStringList watched = watcher_->directories();
  if (watched.size() == (wanted.isEmpty() ? 0 : 1) &&
      (wanted.isEmpty() || watched.contains(wanted))) {
    return;
  }
  if (!watched.isEmpty()) watcher_->removePaths(watched);
  if (!wanted.isEmpty()) watcher_->addPath(wanted);
}

void LinkViews(QtFolderTree& tree, QtFileList& list) {
  tree.linked_list_ = &list;
  list.SetRoot(tree.SelectedPath().empty() ? std::string(kRootMyComputer) : tree.SelectedPath());
}

}  // namespace qm::qt
