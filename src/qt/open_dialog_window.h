// The file browser behind the file-open dialog component, as a Qt dialog window
// (TbsOpenDlgForm): a tool bar to move between folders and pick the list's view, the
// file list, and a band with the name box, the filter drop-down and the two buttons.
//
// Widgets carry object names so that scripts and tests can find them: "lookInBox",
// "backButton", "upButton", "newFolderButton", "viewButton", "fileList" (list and icon
// views), "fileDetails" (details view), "nameBox", "filterBox", "openButton",
// "cancelButton".
#pragma once

#include "platform/open_dialog_port.h"

class QWidget;

namespace qm {
class ErrorBoundary;
class IFileSystem;
}  // namespace qm

namespace qm::qt {

class QtOpenDialogs : public IFileOpenDialogs {
 public:
  // `fs` answers whether typed folders exist; errors raised inside the window go to
  // `boundary`. The window is centred on `owner` when given, else on the screen.
  QtOpenDialogs(ErrorBoundary& boundary, IFileSystem& fs, QWidget* owner = nullptr);

  OpenDialogResult ShowOpenDialog(const OpenDialogRequest& request) override;

 private:
  ErrorBoundary& boundary_;
  IFileSystem& fs_;
  QWidget* owner_;
};

}  // namespace qm::qt
