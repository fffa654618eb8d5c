// Where the skinned dialogs put their controls. The toolkit measures texts and the
// window frame; these rules turn the measurements into rectangles in client coordinates.
#pragma once

#include <optional>
#include <vector>

namespace qm {

struct LayoutSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const LayoutSize&, const LayoutSize&) = default;
};

struct LayoutRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// n × numerator / denominator in one multiplication and one division, the quotient
// taken to the nearest integer (halves away from zero); 0 for a zero denominator.
int MulDivRound(int n, int numerator, int denominator);

// --- Message dialog -----------------------------------------------------------------

inline constexpr int kMessageButtonWidth = 70;
inline constexpr int kMessageButtonHeight = 25;  // when the skin has no push button
inline constexpr int kMessageButtonGap = 10;
inline constexpr int kMessageButtonStep = 80;  // from one button's left edge to the next
inline constexpr int kMessageLabelLeft = 50;
inline constexpr int kMessageLabelTop = 15;
inline constexpr int kMessageIconSize = 32;

struct MessageLayoutInput {
  LayoutSize label;  // the message measured on one line per line break, no wrap
  int button_count = 0;
  bool has_icon = true;
  // The height of the skin's push-button picture, when the skin has that element.
  std::optional<int> skin_button_height;
  // Outer size minus client size of the dialog window.
  int frame_width = 0;
  int frame_height = 0;
  int skin_min_width = 0;   // the skin's minimum outer width (0: none)
  int work_area_width = 0;  // of the screen the dialog is on
  int frame_max_width = 0;  // the frame's maximum outer width (0: none)
};

struct MessageLayout {
  LayoutRect label;
  std::optional<LayoutRect> icon;
  std::vector<LayoutRect> buttons;  // in bit order
  int button_height = 0;
  int row_width = 0;
  LayoutSize client;
  int outer_width = 0;
};

// The button row of n buttons: n × 70 + (n − 1) × 10, 0 for none.
int MessageButtonRowWidth(int button_count);
MessageLayout LayoutMessageDialog(const MessageLayoutInput& input);

// --- Dialog units of the input and progress dialogs ---------------------------------

// Measured on the dialog's font: `x` is the width of "A".."Z""a".."z" divided by 52
// (integer division), `y` the height of that text.
struct DialogUnits {
  int x = 0;
  int y = 0;
  static DialogUnits FromAlphabet(int alphabet_width, int alphabet_height) {
    return {alphabet_width / 52, alphabet_height};
  }
  int H(int n) const { return MulDivRound(n, x, 4); }
  int V(int n) const { return MulDivRound(n, y, 8); }
};

// The 52 letters the dialog units are measured on.
inline constexpr const char* kDialogUnitAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct InputLayout {
  LayoutRect prompt;
  LayoutRect edit;
  LayoutRect ok;
  LayoutRect cancel;
  LayoutSize client;
};

// `prompt` is the prompt's natural size (no wrap), `edit_height` the edit box's height.
InputLayout LayoutInputDialog(const DialogUnits& units, LayoutSize prompt, int edit_height);

struct ProgressLayout {
  LayoutRect label;
  LayoutRect gauge;
  LayoutRect cancel;
  LayoutSize client;
};

ProgressLayout LayoutProgressDialog(const DialogUnits& units, LayoutSize label, int gauge_height);

}  // namespace qm
