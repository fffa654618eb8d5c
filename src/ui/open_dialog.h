// TbsSkinOpenDialog: the skinned file-open dialog component. It keeps its settings and
// the last choice between showings and builds a fresh file browser for each one.
#pragma once

#include <string>
#include <vector>

#include "platform/open_dialog.h"
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

}  // namespace qm
