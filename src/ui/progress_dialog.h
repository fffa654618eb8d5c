// TbsSkinProgressDialog: the skinned progress dialog component. A window with a label,
// a gauge and a "取消" button, shown modeless and on top (or modally); it closes itself
// when its value reaches the maximum and reports a cancel through OnCancel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "ui/message_dialog.h"

namespace qm {

enum TbsShowType { stStayOnTop, stModal };

// The percentage a gauge shows: the value's place in the range, to the nearest whole
// number; 0 when the range is empty.
int GaugePercent(std::int64_t min, std::int64_t max, std::int64_t value);

class TbsSkinProgressDialog {
 public:
  explicit TbsSkinProgressDialog(IDialogs& dialogs);
  ~TbsSkinProgressDialog();
  TbsSkinProgressDialog(const TbsSkinProgressDialog&) = delete;
  TbsSkinProgressDialog& operator=(const TbsSkinProgressDialog&) = delete;

  TbsShowType ShowType = stStayOnTop;
  std::string Caption = "Process";
  std::string LabelCaption = "Name of process:";
  bool ShowPercent = true;
  // Plain stored values: the gauge takes them when ShowProgress builds the window.
  std::int64_t MinValue = 0;
  std::int64_t MaxValue = 100;
  SkinnedDialogSettings Settings;
  std::string GaugeSkinDataName = "gauge";

  std::function<void()> OnShow;
  // The dialog was cancelled: its window closed while the stored value differed from the
  // stored maximum, or the user pressed "取消" or Escape.
  std::function<void()> OnCancel;

  // Builds and shows the window unless it is already shown (then false at once). On top:
  // returns false at once. Modal: returns when the window closes, true when the value
  // reached the maximum, false when the user ended it.
  bool ShowProgress();

  std::int64_t Value() const { return value_; }
  // Stores the value; while the window is shown, moves the gauge (kept within its range)
  // and closes the window when the gauge reaches its maximum.
  void SetValue(std::int64_t value);
  bool Shown() const { return window_ != nullptr; }

 private:
  void UserClosed(ProgressCloseReason reason);
  std::int64_t ClampToGauge(std::int64_t value) const;

  IDialogs& dialogs_;
  std::unique_ptr<IProgressWindow> window_;
  // A closed window, destroyed at the next showing: it may be closing from inside its own
  // event when it is forgotten.
  std::unique_ptr<IProgressWindow> retired_;
  std::uint64_t generation_ = 0;  // which showing a user close belongs to
  bool modal_ = false;
  std::int64_t value_ = 0;
  std::int64_t gauge_min_ = 0;
  std::int64_t gauge_max_ = 0;
};

}  // namespace qm
