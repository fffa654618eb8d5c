#include "qt/qt_shell_view_parts.h"

#include <QApplication>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/shell_views_port.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::qt::views {

namespace {

// How long the views wait after a change reported by the watcher before reading the
// folder, so that a burst of changes is read once.
constexpr int kWatchDelayMs = 40;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
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

void KeepSelectionVisible(QAbstractItemView& view) {
  QPalette palette = view.palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  view.setPalette(palette);
}

}  // namespace

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

RenameOutcome RenameOnDisk(IFileSystem& files, const std::string& folder,
                           const std::string& old_name, const QString& new_name,
                           std::string& renamed) {
  if (new_name.isEmpty()) return RenameOutcome::kKeep;
  renamed = DiskOfQt(new_name);
  if (renamed == old_name) return RenameOutcome::kKeep;
  if (renamed == "." || renamed == ".." ||
      renamed.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
    return RenameOutcome::kRefused;
  }
  std::vector<std::string> names;
  if (!files.ListFolder(folder, FolderEntries::kAll, names)) return RenameOutcome::kRefused;
  for (const std::string& name : names) {
    if (name == old_name) continue;
    if (QString::compare(QtOfDisk(name), new_name, Qt::CaseInsensitive) == 0) {
      return RenameOutcome::kRefused;
    }
  }
  // Where the file system cannot refuse an existing name by itself, the test above has
  // made sure the name is free.
  // Below a layered course the learner's own entry is renamed where it lies; one that only
  // the course holds stays as it is where the course is read-only.
  const std::string from = files.FindNative(Join(folder, old_name, '/'));
  const std::string from_folder = from.substr(0, from.find_last_of('/') + 1);
  return files.RenameEntry(from, from_folder + renamed) ? RenameOutcome::kRenamed
                                                        : RenameOutcome::kRefused;
}

std::string RenameFailedMessage(const QString& new_name) {
  return "Rename to " + AnsiOfDisk(DiskOfQt(new_name)) + " failed";
}

void PrepareEditing(QAbstractItemView& view,
                    std::function<void(const QModelIndex&, const QString&)> rename) {
  view.setSelectionMode(QAbstractItemView::SingleSelection);
  view.setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  view.setContextMenuPolicy(Qt::NoContextMenu);
  view.setItemDelegate(new RenameDelegate(std::move(rename), &view));
  KeepSelectionVisible(view);
}

bool OpensEditor(const QAbstractItemView& view, bool editing, const QModelIndex& index,
                 QAbstractItemView::EditTrigger trigger) {
  if (editing || !index.isValid() || !(index.flags() & Qt::ItemIsEditable)) return false;
  if (trigger == QAbstractItemView::AllEditTriggers) return true;
  // A click on the selected item only schedules the edit; it comes back with
  // AllEditTriggers when no double-click followed.
  if (trigger == QAbstractItemView::SelectedClicked) return false;
  return (view.editTriggers() & trigger) != 0;
}

bool AskInBoundary(ErrorBoundary& boundary, const std::function<bool()>& handler) {
  if (!handler) return true;
  bool allowed = false;
  boundary.Run([&] { allowed = handler(); });
  return allowed;
}

void ReportLater(QObject* context, ErrorBoundary& boundary, std::string message) {
  QMetaObject::invokeMethod(
      context,
      [&boundary, message = std::move(message)] {
        boundary.Report(std::make_exception_ptr(Exception(message)));
      },
      Qt::QueuedConnection);
}

QFileSystemWatcher* WatchFolders(QObject* owner, std::function<void()> on_change) {
  auto* watcher = new QFileSystemWatcher(owner);
  auto* delay = new QTimer(owner);
  delay->setSingleShot(true);
  delay->setInterval(kWatchDelayMs);
  QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, delay,
                   qOverload<>(&QTimer::start));
  QObject::connect(delay, &QTimer::timeout, owner, std::move(on_change));
  return watcher;
}

QStringList FoldersToWatch(const IFileSystem& files, const std::string& disk_folder) {
  QStringList folders;
  if (disk_folder.empty()) return folders;
  for (const std::string& folder : files.FolderPlaces(disk_folder)) {
    folders.push_back(QtOfDisk(folder));
  }
  return folders;
}

WaitCursor::WaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace qm::qt::views
