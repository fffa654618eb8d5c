// The boxes and dialogs the shell shows. Texts are ANSI. All are modal and return when
// the user closed them; their windows run nested message loops.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

enum class MessageKind {
  kWarning = 0,
  kError = 1,
  kInformation = 2,
  kConfirmation = 3,
  kCustom = 4
};

// One button of a message dialog, in the order shown.
struct DialogButton {
  int bit = 0;          // position in the button set
  std::string caption;  // "&" marks the access key
  int result = 0;       // the dialog's result when pressed (0: Help, leaves it open)
};

// Everything a message dialog window shows; the portable component fills it in.
struct MessageDialogRequest {
  std::string caption;
  std::string text;
  MessageKind kind = MessageKind::kError;
  unsigned buttons = 0;  // the set as a number
  std::vector<DialogButton> button_list;
  int default_button = -1;  // index into button_list pressed by Enter, -1 none
  int cancel_button = -1;   // index pressed by Escape, -1 none
  int help_context = 0;
};

// What the input dialog shows: a prompt above an edit box that starts with `text`.
struct InputDialogRequest {
  std::string caption;
  std::string prompt;
  std::string text;
  int max_length = 255;  // characters the user can type into the box
};

// What the progress window shows: a label above a gauge with its range and value.
struct ProgressDialogRequest {
  std::string caption;
  std::string label;
  std::int64_t min = 0;
  std::int64_t max = 100;
  std::int64_t value = 0;  // within the range
  bool show_percent = true;
  bool stay_on_top = true;  // else it is shown modally (IProgressWindow::RunModal)
};

// How the user closed a progress window.
enum class ProgressCloseReason {
  kCancelButton,  // the "取消" button or Escape
  kCloseCommand,  // the window's close command (Alt+F4)
};

// A progress window on screen. Destroying it removes the window.
class IProgressWindow {
 public:
  virtual ~IProgressWindow() = default;
  // Moves the gauge to `value` (within its range).
  virtual void SetGauge(std::int64_t value) = 0;
  // Closes the window because its value reached the maximum; no user close follows.
  virtual void Close() = 0;
  // For a modal window: runs its modal loop until it closes; true when it closed
  // through Close(), false when the user closed it.
  virtual bool RunModal() = 0;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // Shows the skinned message dialog; the button's result, or 2 when it was closed by
  // the window's close command.
  virtual int ShowMessageDialog(const MessageDialogRequest& request) = 0;
  // The plain message box: caption, text, no icon, one OK button.
  virtual void ShowPlainMessage(const std::string& text, const std::string& caption) = 0;
  // The operating system's message box; its button code.
  virtual int SystemMessageBox(const std::string& text, const std::string& caption,
                               unsigned flags) = 0;
  // The general error report: the system message box with the stop icon and OK
  // (flags 16); `text` is final (full stop already added).
  virtual void ShowErrorReport(const std::string& text, const std::string& caption) = 0;
  // Shows the modal input dialog: the edit box's text when the user confirmed it,
  // nullopt when the dialog ended any other way.
  virtual std::optional<std::string> ShowInputDialog(const InputDialogRequest& request) = 0;
  // Shows a progress window and returns at once (a modal one runs with RunModal).
  // `on_user_close` runs, from the message loop, when the user closes the window.
  virtual std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& request,
      std::function<void(ProgressCloseReason)> on_user_close) = 0;
};

}  // namespace qm
