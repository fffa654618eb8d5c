#include "ui/input_dialog.h"

#include "text/codepage.h"

namespace qm {

TbsSkinInputDialog::TbsSkinInputDialog(IDialogs& dialogs) : dialogs_(dialogs) {
  Settings.DefaultFontName = text::A("宋体");
}

bool TbsSkinInputDialog::QueryText(const std::string& caption, const std::string& prompt,
                                   std::string& value) {
  InputDialogRequest request;
  request.caption = caption;
  request.prompt = prompt;
  request.text = value;
  request.max_length = kMaxTextLength;
  std::optional<std::string> entered = dialogs_.ShowInputDialog(request);
  if (!entered) return false;
  value = std::move(*entered);
  return true;
}

std::string TbsSkinInputDialog::InputText(const std::string& caption, const std::string& prompt,
                                          const std::string& default_value) {
  std::string value = default_value;
  QueryText(caption, prompt, value);
  return value;
}

}  // namespace qm
