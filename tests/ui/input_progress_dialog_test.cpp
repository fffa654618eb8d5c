// The input and progress dialog components: their values, results and the rules for
// closing and OnCancel, seen through the scripted dialogs.
#include <gtest/gtest.h>

#include "headless/scripted_ports.h"
#include "text/codepage.h"
#include "ui/input_dialog.h"
#include "ui/progress_dialog.h"

namespace qm {
namespace {

using headless::Json;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { text::SetAnsiCodePage("UTF-8"); }
  void TearDown() override { text::SetAnsiCodePage("UTF-8"); }
  std::vector<Json> Progress() const {
    std::vector<Json> out;
    for (const auto& e : journal.Entries()) {
      if (e.contains("dialog") && e["dialog"]["type"] == "progress") out.push_back(e["dialog"]);
    }
    return out;
  }
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
};

TEST_F(DialogTest, InputTextGivesTheDefaultUnlessConfirmed) {
  TbsSkinInputDialog input(dialogs);
  dialogs.QueueAnswer(nullptr);
  EXPECT_EQ(input.InputText("c", "p", ""), "");
  dialogs.QueueAnswer("");
  EXPECT_EQ(input.InputText("c", "p", ""), "");
  dialogs.QueueAnswer(nullptr);
  EXPECT_EQ(input.InputText("c", "p", "http://h/x"), "http://h/x");
  EXPECT_EQ(input.InputText("c", "p", "kept"), "kept");  // closed without an answer
  dialogs.QueueAnswer("typed");
  EXPECT_EQ(input.InputText("c", "p", "old"), "typed");

  ASSERT_EQ(journal.Entries().size(), 5u);
  EXPECT_EQ(journal.Entries()[2]["dialog"], Json({{"type", "input"},
                                                  {"caption", "c"},
                                                  {"prompt", "p"},
                                                  {"text", "http://h/x"},
                                                  {"result", nullptr}}));
  EXPECT_EQ(journal.Entries()[4]["dialog"]["result"], "typed");
}

TEST_F(DialogTest, QueryTextChangesTheValueOnlyWhenConfirmed) {
  TbsSkinInputDialog input(dialogs);
  std::string value = "start";
  dialogs.QueueAnswer(nullptr);
  EXPECT_FALSE(input.QueryText("c", "p", value));
  EXPECT_EQ(value, "start");
  dialogs.QueueAnswer(6);  // an answer for a message dialog does not fit
  EXPECT_FALSE(input.QueryText("c", "p", value));
  EXPECT_EQ(dialogs.PendingAnswers(), 1u);
}

TEST_F(DialogTest, TypedTextStopsAt255Characters) {
  TbsSkinInputDialog input(dialogs);
  dialogs.QueueAnswer(std::string(300, 'x'));
  EXPECT_EQ(input.InputText("c", "p", ""), std::string(255, 'x'));
  text::SetAnsiCodePage("CP936");
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "升";
  dialogs.QueueAnswer(wide);
  EXPECT_EQ(text::Ansi().CharCount(input.InputText("c", "p", "")), 255u);
}

TEST(GaugeTest, PercentageIsRoundedAndZeroForAnEmptyRange) {
  EXPECT_EQ(GaugePercent(0, 3, 1), 33);
  EXPECT_EQ(GaugePercent(0, 3, 2), 67);
  EXPECT_EQ(GaugePercent(10, 20, 15), 50);
  EXPECT_EQ(GaugePercent(0, 0, 0), 0);
}

TEST_F(DialogTest, ValueBeyondTheMaximumClosesAndCancels) {
  TbsSkinProgressDialog progress(dialogs);
  int cancels = 0;
  int shows = 0;
  progress.OnCancel = [&] { ++cancels; };
  progress.OnShow = [&] { ++shows; };
  EXPECT_FALSE(progress.ShowProgress());
  EXPECT_TRUE(progress.Shown());
  EXPECT_EQ(shows, 1);
  EXPECT_FALSE(progress.ShowProgress());  // already shown: nothing happens
  progress.SetValue(40);
  EXPECT_TRUE(progress.Shown());
  progress.SetValue(250);
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(progress.Value(), 250);
  const auto lines = Progress();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Json({{"type", "progress"},
                            {"event", "shown"},
                            {"caption", "Process"},
                            {"label", "Name of process:"},
                            {"min", 0},
                            {"max", 100}}));
  EXPECT_EQ(lines[1], Json({{"type", "progress"},
                            {"event", "closed"},
                            {"min", 0},
                            {"max", 100},
                            {"value", 100},
                            {"by", "value"}}));
  progress.SetValue(7);  // not shown: only stored
  EXPECT_EQ(progress.Value(), 7);
  EXPECT_EQ(Progress().size(), 2u);
}

TEST_F(DialogTest, EmptyRangeClosesAtTheNextValue) {
  TbsSkinProgressDialog progress(dialogs);
  int cancels = 0;
  progress.OnCancel = [&] { ++cancels; };
  progress.MaxValue = 0;
  progress.ShowProgress();
  progress.SetValue(0);
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 0);
  progress.ShowProgress();
  progress.SetValue(5);
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 1);
}

TEST_F(DialogTest, RangeIsTakenWhenShownButTheCancelTestUsesTheStoredValues) {
  TbsSkinProgressDialog progress(dialogs);
  int cancels = 0;
  progress.OnCancel = [&] { ++cancels; };
  progress.ShowProgress();
  progress.MaxValue = 50;
  progress.SetValue(50);  // the gauge still runs to 100
  EXPECT_TRUE(progress.Shown());
  progress.SetValue(100);
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 1);  // 100 differs from the stored maximum 50
}

TEST_F(DialogTest, UserClosingRaisesOnCancel) {
  TbsSkinProgressDialog progress(dialogs);
  int cancels = 0;
  progress.OnCancel = [&] { ++cancels; };
  progress.ShowProgress();
  progress.SetValue(100 - 1);
  EXPECT_TRUE(dialogs.CloseProgress(ProgressCloseReason::kCancelButton));
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(dialogs.CloseProgress());  // nothing open

  // "取消" raises OnCancel also when the value stands at the maximum; the close command
  // only when it does not.
  progress.MaxValue = 10;
  progress.SetValue(10);
  progress.ShowProgress();
  dialogs.CloseProgress(ProgressCloseReason::kCancelButton);
  EXPECT_EQ(cancels, 2);
  progress.ShowProgress();
  dialogs.CloseProgress(ProgressCloseReason::kCloseCommand);
  EXPECT_EQ(cancels, 2);
  progress.SetValue(3);
  progress.ShowProgress();
  dialogs.CloseProgress(ProgressCloseReason::kCloseCommand);
  EXPECT_EQ(cancels, 3);
  EXPECT_EQ(Progress().back()["by"], "close");
}

TEST_F(DialogTest, ModalShowingEndsWithItsResultAndRaisesNoCancel) {
  TbsSkinProgressDialog progress(dialogs);
  progress.ShowType = stModal;
  int cancels = 0;
  progress.OnCancel = [&] { ++cancels; };
  dialogs.while_open = [&] { progress.SetValue(100); };
  EXPECT_TRUE(progress.ShowProgress());
  EXPECT_FALSE(progress.Shown());
  dialogs.while_open = [&] { progress.SetValue(30); };
  EXPECT_FALSE(progress.ShowProgress());  // the user closed it
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 0);
}

}  // namespace
}  // namespace qm
