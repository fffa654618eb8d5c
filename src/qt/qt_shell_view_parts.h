// What the folder tree and the file list of qt_shell_views.h share: the text of paths
// and names, the names of a folder in display order, renaming on disk, the editing of
// labels, and the watcher that re-reads a folder.
#pragma once

#include <QAbstractItemView>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "resources/natural_order.h"

class QFileSystemWatcher;
class QObject;
class QTimer;

namespace qm {
class ErrorBoundary;
}

namespace qm::qt::views {

// ANSI paths are the shell's; on-disk paths and names are UTF-8 bytes, as the file layer
// resolves them.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// `folder` + separator + `name`; no second separator after one that ends `folder`.
std::string Join(const std::string& folder, const std::string& name, char separator);
std::string AnsiOfDisk(const std::string& utf8);
QString QtOfDisk(const std::string& utf8);
std::string DiskOfQt(const QString& name);
bool SameIgnoringCase(const std::string& a, const std::string& b);
// The root stands for the computer's top level.
bool IsComputer(const std::string& root);
// The last component of an on-disk folder path: the name a view shows for it.
QString DisplayName(const std::string& disk);

// A name as read from disk, with what the views need of it.
struct DiskName {
  resources::NaturalName natural;  // the ANSI name and its sort key
  std::string disk;                // the on-disk name (UTF-8)
};
// The names in the natural order of a file manager.
std::vector<DiskName> SortedNames(std::vector<std::string>&& disk_names);

enum class RenameOutcome { kKeep, kRenamed, kRefused };

// Renames `old_name` in `folder` (both on disk) to `new_name`. An empty or unchanged name
// keeps the old one. Refused: a name with a separator or NUL, "." or "..", a name that
// another entry of the folder has in any letter case (paths are found ignoring case, so
// two such names could not be told apart), or a refusal of the file system. The rename
// never replaces an existing entry.
RenameOutcome RenameOnDisk(IFileSystem& files, const std::string& folder,
                           const std::string& old_name, const QString& new_name,
                           std::string& renamed);
std::string RenameFailedMessage(const QString& new_name);

// Sets a view up for label editing as both views edit: one item selected at a time, F2
// or a click on the selected item starts an edit, a finished edit goes to `rename`
// instead of the model, and the selection stays visible without the focus.
void PrepareEditing(QAbstractItemView& view,
                    std::function<void(const QModelIndex&, const QString&)> rename);
// Whether the view would open an editor for this trigger (as QAbstractItemView decides),
// so that OnEditing is asked only when an edit really starts.
bool OpensEditor(const QAbstractItemView& view, bool editing, const QModelIndex& index,
                 QAbstractItemView::EditTrigger trigger);
// Runs `handler` inside the boundary; false when it raised (or answered false).
bool AskInBoundary(ErrorBoundary& boundary, const std::function<bool()>& handler);
// Reports an error through the boundary from the event loop, after the current event
// (an edit being committed) has ended.
void ReportLater(QObject* context, ErrorBoundary& boundary, std::string message);

// A watcher of folders owned by `owner` whose changes call `on_change` once after a short
// delay, so that a burst of changes is read once.
QFileSystemWatcher* WatchFolders(QObject* owner, std::function<void()> on_change);
// The folders on disk that show as `disk_folder` (the learner's and the course's, below a
// layered course); none for "".
QStringList FoldersToWatch(const IFileSystem& files, const std::string& disk_folder);

class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace qm::qt::views
