// The dialogs on Qt Widgets: the skinned message, input and progress dialogs in the
// embedded skin's frame, the plain message box and the system message box.
//
// Every showing builds a fresh window and destroys it when it closes. Modal dialogs run
// a nested event loop (timers and posted work keep running) and are modal to the whole
// application.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dialogs.h"
#include "ui/error_report.h"

namespace qm::qt {

// Button codes of the system message box (IDOK, IDCANCEL, ... of Windows).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;

// Style flags of the system message box (MB_OK, MB_ICONHAND, ...).
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbAbortRetryIgnore = 0x2;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbRetryCancel = 0x5;
inline constexpr unsigned kMbCancelTryContinue = 0x6;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconAsterisk = 0x40;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr unsigned kMbDefButton3 = 0x200;
inline constexpr unsigned kMbDefButton4 = 0x300;

class QtDialogs : public IDialogs {
 public:
  // `app_title` heads the reports of errors raised inside the dialogs' own events; empty:
  // the title of the running executable.
  explicit QtDialogs(std::string app_title = {});
  ~QtDialogs() override;

  int ShowMessageDialog(const MessageDialogRequest& request) override;
  void ShowPlainMessage(const std::string& text, const std::string& caption) override;
  int SystemMessageBox(const std::string& text, const std::string& caption,
                       unsigned flags) override;
  void ShowErrorReport(const std::string& text, const std::string& caption) override;
  std::optional<std::string> ShowInputDialog(const InputDialogRequest& request) override;
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& request,
      std::function<void(ProgressCloseReason)> on_user_close) override;

  // What the Help button of a message dialog does with the dialog's help context. The
  // shell names no help file, so by default the button does nothing.
  void SetHelpHandler(std::function<void(int help_context)> handler) { help_ = std::move(handler); }

 private:
  std::string title_;
  ErrorBoundary boundary_;
  std::function<void(int)> help_;
};

}  // namespace qm::qt
