#include "ui/progress_dialog.h"

#include <algorithm>
#include <cmath>

#include "text/codepage.h"

namespace qm {

int GaugePercent(std::int64_t min, std::int64_t max, std::int64_t value) {
  if (max <= min) return 0;
  const double share = static_cast<double>(value - min) / static_cast<double>(max - min);
  return static_cast<int>(std::lround(share * 100.0));
}

TbsSkinProgressDialog::TbsSkinProgressDialog(IDialogs& dialogs) : dialogs_(dialogs) {
  Settings.DefaultFontName = text::A("宋体");
}

TbsSkinProgressDialog::~TbsSkinProgressDialog() = default;

std::int64_t TbsSkinProgressDialog::ClampToGauge(std::int64_t value) const {
  return std::clamp(value, gauge_min_, gauge_max_);
}

bool TbsSkinProgressDialog::ShowProgress() {
  if (window_) return false;
  retired_.reset();
  gauge_min_ = MinValue;
  gauge_max_ = std::max(MinValue, MaxValue);  // a reversed range holds one value
  modal_ = ShowType == stModal;

  ProgressDialogRequest request;
  request.caption = Caption;
  request.label = LabelCaption;
  request.min = gauge_min_;
  request.max = gauge_max_;
  request.value = ClampToGauge(value_);
  request.show_percent = ShowPercent;
  request.stay_on_top = !modal_;
  const std::uint64_t generation = ++generation_;
  window_ = dialogs_.ShowProgressWindow(request, [this, generation](ProgressCloseReason reason) {
    if (generation == generation_ && window_) UserClosed(reason);
  });
  if (OnShow) OnShow();
  if (!modal_) return false;

  // The modal loop runs until the gauge reaches its maximum or the user ends it.
  const bool reached = window_ != nullptr && window_->RunModal();
  window_.reset();
  return reached;
}

void TbsSkinProgressDialog::SetValue(std::int64_t value) {
  value_ = value;
  if (!window_) return;
  const std::int64_t gauge = ClampToGauge(value);
  window_->SetGauge(gauge);
  if (gauge != gauge_max_) return;
  if (modal_) {
    window_->Close();  // ends RunModal with true; ShowProgress forgets the window
    return;
  }
  retired_ = std::move(window_);
  retired_->Close();
  if (value_ != MaxValue && OnCancel) OnCancel();
}

void TbsSkinProgressDialog::UserClosed(ProgressCloseReason reason) {
  // A modal showing just ends (RunModal returns false) and raises nothing.
  if (modal_) return;
  retired_ = std::move(window_);
  if ((reason == ProgressCloseReason::kCancelButton || value_ != MaxValue) && OnCancel) OnCancel();
}

}  // namespace qm
