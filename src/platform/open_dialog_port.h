// The file browser window behind the file-open dialog component: the platform shows it
// modally and reports what the user chose and how the window was left.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qm {

// The views of the file browser's list, in the order of its view menu.
enum class FileBrowserView { kLargeIcons, kSmallIcons, kList, kDetails };

struct FileFilter {
  std::string description;
  std::string mask;  // "*.*", "*.txt;*.doc"
};

struct OpenDialogRequest {
  std::string title;
  std::string folder;     // the folder the list starts in (exists, native separators)
  std::string file_name;  // the name box's first text
  std::vector<FileFilter> filters;
  int filter_index = 1;  // 1-based entry of `filters` selected at first
  bool check_file_exists = true;
  bool multi_selection = false;
  int client_width = 450;
  int client_height = 290;
  int min_width = 0;
  int min_height = 0;
  FileBrowserView view = FileBrowserView::kList;
  // Called while the window is open, each time the list moves to another folder (the
  // folder's full path, native separators); may be empty.
  std::function<void(const std::string& folder)> on_folder_change;
};

struct OpenDialogResult {
  bool confirmed = false;
  std::string file_name;           // full path of the chosen file (confirmed only)
  std::vector<std::string> files;  // selected entries that are files, in list order
  // How the window was left, confirmed or not.
  int filter_index = 1;
  int client_width = 0;
  int client_height = 0;
  FileBrowserView view = FileBrowserView::kList;
};

class IFileOpenDialogs {
 public:
  virtual ~IFileOpenDialogs() = default;
  // Shows the modal file browser; returns when it closed.
  virtual OpenDialogResult ShowOpenDialog(const OpenDialogRequest& request) = 0;
};

}  // namespace qm
