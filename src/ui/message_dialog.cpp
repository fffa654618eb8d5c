#include "ui/message_dialog.h"

#include <array>

#include "text/codepage.h"

namespace qm {

namespace {

struct ButtonInfo {
  const char* caption;  // UTF-8
  int result;
};

// In bit order.
constexpr std::array<ButtonInfo, 11> kButtons = {{
    {"是(&Y)", mrYes},
    {"否(&N)", mrNo},
    {"确定", mrOk},
    {"取消", mrCancel},
    {"终止(&A)", mrAbort},
    {"重试(&R)", mrRetry},
    {"忽略(&I)", mrIgnore},
    {"全部(&A)", mrAll},
    {"全部否(&O)", mrNoToAll},
    {"全部是(&Y)", mrYesToAll},
    {"帮助(&H)", mrNone},  // asks the help system and leaves the dialog open
}};

int IndexOfBit(const std::vector<DialogButton>& buttons, unsigned bit) {
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if ((1u << buttons[i].bit) == bit) return static_cast<int>(i);
  }
  return -1;
}

int FirstPresent(const std::vector<DialogButton>& buttons, std::initializer_list<unsigned> bits) {
  for (unsigned bit : bits) {
    const int index = IndexOfBit(buttons, bit);
    if (index >= 0) return index;
  }
  return -1;
}

}  // namespace

std::string MessageKindCaption(MessageKind kind, const std::string& app_title) {
  switch (kind) {
    case MessageKind::kWarning:
      return text::A("警告");
    case MessageKind::kError:
      return text::A("错误");
    case MessageKind::kInformation:
      return text::A("信息");
    case MessageKind::kConfirmation:
      return text::A("确认");
    case MessageKind::kCustom:
      break;
  }
  return app_title;
}

TbsSkinMessage::TbsSkinMessage(IDialogs& dialogs, std::string app_title)
    : dialogs_(dialogs), app_title_(std::move(app_title)) {
  Settings.DefaultFontName = text::A("宋体");
}

MessageDialogRequest TbsSkinMessage::BuildRequest(const std::string& text, MessageKind kind,
                                                  unsigned buttons, int help_context) const {
  MessageDialogRequest request;
  request.caption = MessageKindCaption(kind, app_title_);
  request.text = text;
  request.kind = kind;
  request.buttons = buttons;
  request.help_context = help_context;
  for (unsigned bit = 0; bit < kButtons.size(); ++bit) {
    if (buttons & (1u << bit)) {
      request.button_list.push_back(
          {static_cast<int>(bit), text::A(kButtons[bit].caption), kButtons[bit].result});
    }
  }
  request.default_button = FirstPresent(request.button_list, {mbOK, mbYes, mbRetry});
  request.cancel_button = FirstPresent(request.button_list, {mbCancel, mbNo, mbOK});
  return request;
}

int TbsSkinMessage::MessageDialog(const std::string& text, MessageKind kind, unsigned buttons,
                                  int help_context) {
  return dialogs_.ShowMessageDialog(BuildRequest(text, kind, buttons, help_context));
}

}  // namespace qm
