// Where the skinned dialogs put their controls, from measured sizes: the message dialog's
// label, icon, button row and width limits, and the dialog units of the input and
// progress dialogs.
#include <gtest/gtest.h>

#include "ui/dialog_layout.h"

namespace qm {
namespace {

MessageLayoutInput Message(int label_width, int label_height, int buttons) {
  MessageLayoutInput in;
  in.label = {label_width, label_height};
  in.button_count = buttons;
  in.skin_button_height = 24;
  in.frame_width = 6;
  in.frame_height = 29;
  in.skin_min_width = 160;
  in.work_area_width = 1024;
  return in;
}

TEST(MulDivRound, RoundsToNearestWithHalvesAwayFromZero) {
  EXPECT_EQ(MulDivRound(5, 1, 4), 1);    // 1.25
  EXPECT_EQ(MulDivRound(6, 1, 4), 2);    // 1.5
  EXPECT_EQ(MulDivRound(7, 1, 4), 2);    // 1.75
  EXPECT_EQ(MulDivRound(-6, 1, 4), -2);  // -1.5
  EXPECT_EQ(MulDivRound(6, -1, 4), -2);
  EXPECT_EQ(MulDivRound(-5, 1, -4), 1);
  // One multiplication then one division: 38 × 7 / 4 = 66.5 → 67, where 38 × (7 / 4)
  // would give 38.
  EXPECT_EQ(MulDivRound(38, 7, 4), 67);
  // No overflow of the product.
  EXPECT_EQ(MulDivRound(2'000'000'000, 3, 4), 1'500'000'000);
  EXPECT_EQ(MulDivRound(3, 5, 0), 0);
}

TEST(MessageLayout, ButtonRowWidth) {
  EXPECT_EQ(MessageButtonRowWidth(0), 0);
  EXPECT_EQ(MessageButtonRowWidth(1), 70);
  EXPECT_EQ(MessageButtonRowWidth(2), 150);
  EXPECT_EQ(MessageButtonRowWidth(3), 230);
}

TEST(MessageLayout, YesNoWithTheSkinsButtonHeight) {
  const MessageLayout l = LayoutMessageDialog(Message(120, 14, 2));
  EXPECT_EQ(l.label, (LayoutRect{50, 15, 120, 14}));
  ASSERT_TRUE(l.icon.has_value());
  EXPECT_EQ(*l.icon, (LayoutRect{5, 10, 32, 32}));  // 15 + 7 − 16 = 6, at least 10
  EXPECT_EQ(l.button_height, 24);
  EXPECT_EQ(l.client, (LayoutSize{210, 88}));  // 170 + 40; 24 + 14 + 50
  EXPECT_EQ(l.outer_width, 216);
  ASSERT_EQ(l.buttons.size(), 2u);
  EXPECT_EQ(l.buttons[0], (LayoutRect{30, 54, 70, 24}));  // (210 − 150) / 2; 88 − 24 − 10
  EXPECT_EQ(l.buttons[1], (LayoutRect{110, 54, 70, 24}));
}

TEST(MessageLayout, WithoutASkinButtonTheButtonsAre25High) {
  MessageLayoutInput in = Message(120, 14, 1);
  in.skin_button_height.reset();
  const MessageLayout l = LayoutMessageDialog(in);
  EXPECT_EQ(l.button_height, 25);
  EXPECT_EQ(l.client.height, 89);
  EXPECT_EQ(l.buttons.at(0), (LayoutRect{(210 - 70) / 2, 54, 70, 25}));
}

TEST(MessageLayout, IconFollowsTheLabelsMiddle) {
  // 15 + 41 / 2 − 16 = 15 + 20 − 16 = 19 (the half truncates).
  EXPECT_EQ(LayoutMessageDialog(Message(80, 41, 1)).icon->top, 19);
  EXPECT_EQ(LayoutMessageDialog(Message(80, 70, 1)).icon->top, 34);
  EXPECT_EQ(LayoutMessageDialog(Message(80, 0, 1)).icon->top, 10);
  MessageLayoutInput custom = Message(80, 70, 1);
  custom.has_icon = false;
  EXPECT_FALSE(LayoutMessageDialog(custom).icon.has_value());
  EXPECT_EQ(LayoutMessageDialog(custom).label.left, 50);  // the label does not move
}

TEST(MessageLayout, TheWiderOfLabelAndButtonRowDecides) {
  // Three buttons (230) are wider than a short label's right edge (50 + 60).
  const MessageLayout l = LayoutMessageDialog(Message(60, 14, 3));
  EXPECT_EQ(l.client.width, 270);
  EXPECT_EQ(l.buttons[0].left, 20);
  EXPECT_EQ(l.buttons[2].left, 180);
}

TEST(MessageLayout, TheSkinsMinimumWidthWidensASmallDialog) {
  const MessageLayout l = LayoutMessageDialog(Message(10, 14, 1));  // client 110, outer 116
  EXPECT_EQ(l.outer_width, 160);
  EXPECT_EQ(l.client.width, 154);
  EXPECT_EQ(l.buttons[0].left, 42);  // centred in the widened client
}

TEST(MessageLayout, ALongLineWidensUpToTheWorkAreaAndNoFurther) {
  const MessageLayout l = LayoutMessageDialog(Message(3000, 14, 1));
  EXPECT_EQ(l.outer_width, 1024);
  EXPECT_EQ(l.client.width, 1018);
  EXPECT_EQ(l.label.width, 3000);  // not wrapped: the label keeps its one line
  EXPECT_EQ(l.label.height, 14);
  EXPECT_EQ(l.buttons[0].left, (1018 - 70) / 2);

  MessageLayoutInput framed = Message(3000, 14, 1);
  framed.frame_max_width = 700;  // a smaller maximum of the frame wins
  EXPECT_EQ(LayoutMessageDialog(framed).outer_width, 700);
  framed.frame_max_width = 2000;  // a larger one does not
  EXPECT_EQ(LayoutMessageDialog(framed).outer_width, 1024);
}

TEST(MessageLayout, ButtonsWiderThanTheWorkAreaStartLeftOfTheClient) {
  MessageLayoutInput in = Message(10, 14, 10);  // row 790
  in.work_area_width = 500;
  const MessageLayout l = LayoutMessageDialog(in);
  EXPECT_EQ(l.client.width, 494);
  EXPECT_EQ(l.buttons[0].left, -148);  // (494 − 790) / 2, truncated toward zero
  EXPECT_EQ(l.buttons[9].left, -148 + 9 * 80);
}

TEST(MessageLayout, EmptyButtonSet) {
  const MessageLayout l = LayoutMessageDialog(Message(100, 14, 0));
  EXPECT_TRUE(l.buttons.empty());
  EXPECT_EQ(l.row_width, 0);
  EXPECT_EQ(l.client, (LayoutSize{190, 88}));
}

TEST(DialogUnits, MeasuredOnTheAlphabet) {
  const DialogUnits u = DialogUnits::FromAlphabet(7 * 52 + 51, 16);  // integer division
  EXPECT_EQ(u.x, 7);
  EXPECT_EQ(u.y, 16);
  EXPECT_EQ(u.H(50), 88);  // 87.5
  EXPECT_EQ(u.H(38), 67);  // 66.5
  EXPECT_EQ(u.V(14), 28);
  EXPECT_EQ(DialogUnits::FromAlphabet(340, 15).V(14), 26);  // 26.25
  EXPECT_EQ(DialogUnits::FromAlphabet(340, 15).V(8), 15);
}

TEST(InputLayout, PlacesPromptEditAndButtons) {
  const DialogUnits u{7, 16};
  const InputLayout l = LayoutInputDialog(u, {100, 16}, 22);
  EXPECT_EQ(l.prompt, (LayoutRect{14, 16, 100, 16}));
  EXPECT_EQ(l.edit, (LayoutRect{14, 37, 287, 22}));  // label bottom + 5; 164 units
  EXPECT_EQ(l.ok, (LayoutRect{67, 74, 88, 28}));     // edit bottom + 15
  EXPECT_EQ(l.cancel, (LayoutRect{161, 74, 88, 28}));
  EXPECT_EQ(l.client, (LayoutSize{315, 115}));  // 180 units; cancel bottom + 13

  // A long prompt is held to 164 units; a two-line prompt pushes everything down.
  const InputLayout wide = LayoutInputDialog(u, {900, 32}, 22);
  EXPECT_EQ(wide.prompt.width, 287);
  EXPECT_EQ(wide.edit.top, 53);
  EXPECT_EQ(wide.client.height, 131);
}

TEST(ProgressLayout, CancelButtonEndsAtTheGaugesRightEdge) {
  const DialogUnits u{6, 13};
  const ProgressLayout l = LayoutProgressDialog(u, {40, 13}, 18);
  EXPECT_EQ(l.label, (LayoutRect{12, 13, 40, 13}));
  EXPECT_EQ(l.gauge, (LayoutRect{12, 31, 246, 18}));
  EXPECT_EQ(l.cancel, (LayoutRect{12 + 246 - 75, 64, 75, 23}));  // 14 × 13 / 8 = 22.75
  EXPECT_EQ(l.cancel.Right(), l.gauge.Right());
  EXPECT_EQ(l.client, (LayoutSize{270, 100}));
}

}  // namespace
}  // namespace qm
