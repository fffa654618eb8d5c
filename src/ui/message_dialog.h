// TbsSkinMessage: the skinned message dialog component. It sits on a window, keeps its
// settings between showings and builds a fresh dialog for every MessageDialog call.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace qm {

// Buttons of a message dialog; the value is the button's bit in the set.
enum MessageButton : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
  mbAll = 1u << 7,
  mbNoToAll = 1u << 8,
  mbYesToAll = 1u << 9,
  mbHelp = 1u << 10,
};

// Result codes (ModalResult).
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

// Settings every skinned dialog component carries.
struct SkinnedDialogSettings {
  std::string ButtonSkinDataName = "button";
  std::string LabelSkinDataName = "stdlabel";
  std::string DefaultFontName;  // "宋体" in the code page; set by the constructor
  int DefaultFontHeight = 14;
  bool UseSkinFont = true;
  bool AlphaBlend = false;
  int AlphaBlendValue = 200;
  bool AlphaBlendAnimation = false;
};

class TbsSkinMessage {
 public:
  TbsSkinMessage(IDialogs& dialogs, std::string app_title);

  // Shows the modal message dialog; the result code of the button that closed it, or 2
  // when it was closed by the window's close command.
  int MessageDialog(const std::string& text, MessageKind kind, unsigned buttons, int help_context);

  // What MessageDialog shows, without showing it.
  MessageDialogRequest BuildRequest(const std::string& text, MessageKind kind, unsigned buttons,
                                    int help_context) const;

  SkinnedDialogSettings Settings;

 private:
  IDialogs& dialogs_;
  std::string app_title_;
};

// The caption of a kind ("警告", "错误", "信息", "确认"; the application title for the
// custom kind), in the ANSI code page.
std::string MessageKindCaption(MessageKind kind, const std::string& app_title);

}  // namespace qm
