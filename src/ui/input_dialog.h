// TbsSkinInputDialog: the skinned input dialog component, a modal prompt for one line
// of text. It keeps its settings between showings and builds a fresh dialog each time.
#pragma once

#include <string>

#include "platform/dialogs.h"
#include "ui/message_dialog.h"

namespace qm {

class TbsSkinInputDialog {
 public:
  static constexpr int kMaxTextLength = 255;

  explicit TbsSkinInputDialog(IDialogs& dialogs);

  // Shows the dialog with `value` as the initial text. Confirmed: `value` becomes the
  // entered text and the result is true; otherwise `value` stays and the result is false.
  bool QueryText(const std::string& caption, const std::string& prompt, std::string& value);
  // The entered text when the user confirms, `default_value` when the dialog ends any
  // other way (a cancel cannot be told from a confirmed, unchanged default).
  std::string InputText(const std::string& caption, const std::string& prompt,
                        const std::string& default_value);

  SkinnedDialogSettings Settings;
  std::string EditSkinDataName = "edit";

 private:
  IDialogs& dialogs_;
};

}  // namespace qm
