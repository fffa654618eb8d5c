// The boxes and dialogs the shell shows. Texts are ANSI. All are modal and return when
// the user closed them; their windows run nested message loops.
#pragma once

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
};

}  // namespace qm
