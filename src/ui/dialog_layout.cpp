#include "ui/dialog_layout.h"

#include <algorithm>
#include <cstdint>

namespace qm {

int MulDivRound(int n, int numerator, int denominator) {
  if (denominator == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(n) * numerator;
  std::int64_t quotient = product / denominator;
  const std::int64_t rest = product % denominator;
  // Round half away from zero: compare twice the remainder with the divisor.
  if (2 * (rest < 0 ? -rest : rest) >=
      (denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator)) {
    quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
  }
  return static_cast<int>(quotient);
}

int MessageButtonRowWidth(int button_count) {
  if (button_count <= 0) return 0;
  return button_count * kMessageButtonWidth + (button_count - 1) * kMessageButtonGap;
}

MessageLayout LayoutMessageDialog(const MessageLayoutInput& input) {
  MessageLayout out;
  out.button_height = input.skin_button_height.value_or(kMessageButtonHeight);
  out.row_width = MessageButtonRowWidth(input.button_count);

  out.label = {kMessageLabelLeft, kMessageLabelTop, input.label.width, input.label.height};
  if (input.has_icon) {
    // Halving truncates toward zero.
    const int top = std::max(out.label.top + out.label.height / 2 - kMessageIconSize / 2, 10);
    out.icon = LayoutRect{5, top, kMessageIconSize, kMessageIconSize};
  }

  out.client.height = out.button_height + out.label.height + 50;
  out.client.width = std::max(out.label.Right(), out.row_width) + 40;

  // The outer width stays between the skin's minimum and the work area (or the frame's
  // maximum when that is smaller); the client follows it.
  int limit = input.work_area_width;
  if (input.frame_max_width > 0 && (limit <= 0 || input.frame_max_width < limit)) {
    limit = input.frame_max_width;
  }
  int outer = out.client.width + input.frame_width;
  if (limit > 0) outer = std::min(outer, limit);
  outer = std::max(outer, input.skin_min_width);
  out.outer_width = outer;
  out.client.width = outer - input.frame_width;

  const int left = (out.client.width - out.row_width) / 2;
  const int top = out.client.height - out.button_height - 10;
  for (int i = 0; i < input.button_count; ++i) {
    out.buttons.push_back(
        {left + i * kMessageButtonStep, top, kMessageButtonWidth, out.button_height});
  }
  return out;
}

InputLayout LayoutInputDialog(const DialogUnits& units, LayoutSize prompt, int edit_height) {
  InputLayout out;
  out.prompt = {units.H(8), units.V(8), std::min(prompt.width, units.H(164)), prompt.height};
  out.edit = {out.prompt.left, out.prompt.Bottom() + 5, units.H(164), edit_height};
  const int top = out.edit.Bottom() + 15;
  out.ok = {units.H(38), top, units.H(50), units.V(14)};
  out.cancel = {units.H(92), top, units.H(50), units.V(14)};
  out.client = {units.H(180), out.cancel.Bottom() + 13};
  return out;
}

ProgressLayout LayoutProgressDialog(const DialogUnits& units, LayoutSize label, int gauge_height) {
  ProgressLayout out;
  out.label = {units.H(8), units.V(8), std::min(label.width, units.H(164)), label.height};
  out.gauge = {out.label.left, out.label.Bottom() + 5, units.H(164), gauge_height};
  const int width = units.H(50);
  out.cancel = {out.gauge.Right() - width, out.gauge.Bottom() + 15, width, units.V(14)};
  out.client = {units.H(180), out.cancel.Bottom() + 13};
  return out;
}

}  // namespace qm
