// TbsSkinOpenDialog: the skinned file-open dialog component. It keeps its settings and
// the last choice between showings and builds a fresh file browser for each one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/open_dialog_port.h"
#include "ui/message_dialog.h"

namespace qm {

class IFileSystem;

class TbsSkinOpenDialog {
 public:
  // `app_dir` is the start folder when neither FileName nor InitialDir give one.
  TbsSkinOpenDialog(IFileOpenDialogs& browser, IFileSystem& files, std::string app_dir);

  std::string Title;
  std::string Filter;  // "description|mask|description|mask..."
  int FilterIndex = 1;
  std::string InitialDir;
  std::string FileName;
  bool CheckFileExists = false;
  bool MultiSelection = false;
  int DialogWidth = 0;
  int DialogHeight = 0;
  int DialogMinWidth = 0;
  int DialogMinHeight = 0;
  SkinnedDialogSettings Settings;
  // Raised while the browser is open, each time its list moves to another folder.
  std::function<void()> OnFolderChange;

  // Shows the modal browser; true when the user confirmed a choice. Then FileName is the
  // chosen file and Files the selected files in list order; otherwise Files keeps the
  // previous choice.
  bool ChooseFiles();
  const std::vector<std::string>& Files() const { return files_; }

  // What ChooseFiles shows, without showing it.
  OpenDialogRequest BuildRequest();

 private:
  IFileOpenDialogs& browser_;
  IFileSystem& fs_;
  std::string app_dir_;
  std::vector<std::string> files_;
  FileBrowserView view_ = FileBrowserView::kList;
};

// The pairs of a filter text "description|mask|...": a trailing description without a
// mask is dropped.
std::vector<FileFilter> ParseFilter(const std::string& filter);

// The rules of the file browser window, shared by every platform's browser.

// Whether a file name matches a mask list "*.txt;*.doc": "*" stands for any run of
// characters, "?" for one character, letters A-Z match either case, a mask ending in
// ".*" also matches a name without an extension ("*.*" matches every name). Blank or
// empty masks match nothing.
bool MatchesMask(const std::string& name, const std::string& masks);

// `name` inside `folder`: a name that is already a full path stays as it is.
std::string JoinFolder(const std::string& folder, const std::string& name);

// What Enter in the name box does.
struct NameBoxCommand {
  enum Action { kSetMask, kShowFolder, kConfirm } action = kConfirm;
  std::string folder;  // kShowFolder: the folder to show (native separators)
};
// A text with "*" becomes the list's mask; a text with a separator that names an
// existing folder (by itself or inside the shown folder) shows that folder; anything
// else confirms.
NameBoxCommand InterpretNameBox(const std::string& text, const std::string& shown_folder,
                                IFileSystem& fs);

// One entry of the browser's list.
struct BrowserEntry {
  std::string name;
  bool is_folder = false;
};

// The browser at the moment the user confirms.
struct BrowserState {
  std::string folder;                  // the shown folder
  std::string name_box;                // the name box's text
  std::vector<BrowserEntry> selected;  // the selected entries, in list order
  int current = -1;                    // index in `selected` of the current entry, or -1
};

struct BrowserChoice {
  std::string file_name;           // full path of the chosen file
  std::vector<std::string> files;  // full paths of the selected files, in list order
};

// The choice a confirmation makes, or nothing when it makes none: an empty name box
// makes none; with `check_file_exists` only a selected file that exists is taken;
// without it the selected file, else the name box's text inside the shown folder. The
// selected file is the current entry when it is a selected file, else the first selected
// file. `file_exists` tells whether a full path names an existing file.
std::optional<BrowserChoice> ConfirmChoice(
    const BrowserState& state, bool check_file_exists,
    const std::function<bool(const std::string&)>& file_exists);

}  // namespace qm
