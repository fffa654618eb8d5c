#include <gtest/gtest.h>

#include "headless/scripted_ports.h"
#include "platform/errors.h"
#include "text/codepage.h"
#include "ui/error_report.h"
#include "ui/message_dialog.h"

namespace qm {
namespace {

struct Captions {
  std::vector<std::string> captions;
  std::vector<int> results;
};

Captions Of(const MessageDialogRequest& request) {
  Captions out;
  for (const auto& b : request.button_list) {
    out.captions.push_back(text::Ansi().ToUtf8(b.caption));
    out.results.push_back(b.result);
  }
  return out;
}

class MessageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { text::SetAnsiCodePage("UTF-8"); }
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
  TbsSkinMessage message{dialogs, "Course"};
};

TEST_F(MessageDialogTest, YesNoQuestion) {
  const auto request = message.BuildRequest("q", MessageKind::kConfirmation, mbYes | mbNo, 0);
  EXPECT_EQ(request.buttons, 3u);
  EXPECT_EQ(text::Ansi().ToUtf8(request.caption), "确认");
  const Captions c = Of(request);
  EXPECT_EQ(c.captions, (std::vector<std::string>{"是(&Y)", "否(&N)"}));
  EXPECT_EQ(c.results, (std::vector<int>{6, 7}));
  EXPECT_EQ(request.default_button, 0);  // Enter presses Yes
  EXPECT_EQ(request.cancel_button, 1);   // Escape presses No
}

TEST_F(MessageDialogTest, OkErrorBoxUsesOkForEnterAndEscape) {
  const auto request = message.BuildRequest("e", MessageKind::kError, mbOK, 0);
  EXPECT_EQ(request.buttons, 4u);
  EXPECT_EQ(text::Ansi().ToUtf8(request.caption), "错误");
  EXPECT_EQ(Of(request).captions, (std::vector<std::string>{"确定"}));
  EXPECT_EQ(request.default_button, 0);
  EXPECT_EQ(request.cancel_button, 0);
}

TEST_F(MessageDialogTest, ButtonsInBitOrderAndRoles) {
  const auto request =
      message.BuildRequest("m", MessageKind::kWarning, mbCancel | mbOK | mbYes | mbRetry, 7);
  EXPECT_EQ(Of(request).results, (std::vector<int>{6, 1, 2, 4}));
  EXPECT_EQ(request.default_button, 1);  // OK before Yes
  EXPECT_EQ(request.cancel_button, 2);   // Cancel
  EXPECT_EQ(request.help_context, 7);

  const auto retry = message.BuildRequest("m", MessageKind::kWarning, mbRetry | mbIgnore, 0);
  EXPECT_EQ(retry.default_button, 0);
  EXPECT_EQ(retry.cancel_button, -1);  // neither Cancel, No nor OK

  const auto none = message.BuildRequest("m", MessageKind::kInformation, 0, 0);
  EXPECT_TRUE(none.button_list.empty());
  EXPECT_EQ(none.default_button, -1);
  EXPECT_EQ(none.cancel_button, -1);
}

TEST_F(MessageDialogTest, CaptionsOfKinds) {
  EXPECT_EQ(text::Ansi().ToUtf8(MessageKindCaption(MessageKind::kWarning, "T")), "警告");
  EXPECT_EQ(text::Ansi().ToUtf8(MessageKindCaption(MessageKind::kInformation, "T")), "信息");
  EXPECT_EQ(MessageKindCaption(MessageKind::kCustom, "Course"), "Course");
}

TEST_F(MessageDialogTest, ResultComesFromTheDialogAndCloseGivesCancel) {
  dialogs.QueueAnswer(7);
  EXPECT_EQ(message.MessageDialog("q", MessageKind::kConfirmation, mbYes | mbNo, 0), 7);
  // Without an answer the window is closed by its close command.
  EXPECT_EQ(message.MessageDialog("q", MessageKind::kConfirmation, mbYes | mbNo, 0), 2);
  // An answer no button gives is refused and the dialog closed instead.
  dialogs.QueueAnswer(1);
  EXPECT_EQ(message.MessageDialog("q", MessageKind::kConfirmation, mbYes | mbNo, 0), 2);
  EXPECT_EQ(journal.Entries().back()["dialog"]["result"], 2);
}

TEST(ErrorReportTest, FullStopRule) {
  EXPECT_EQ(ErrorReportText("Invalid argument"), "Invalid argument.");
  EXPECT_EQ(ErrorReportText("File not found"), "File not found.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorReportText("(see log)"), "(see log)");
  EXPECT_EQ(ErrorReportText("trailing "), "trailing ");
  EXPECT_EQ(ErrorReportText("a-"), "a-");   // "-" sorts before "."
  EXPECT_EQ(ErrorReportText("a/"), "a/.");  // "/" sorts after "."
  EXPECT_EQ(ErrorReportText(""), "");
  EXPECT_EQ(ErrorReportText("\xE4\xB8\xAD"), "\xE4\xB8\xAD.");
}

TEST(ErrorReportTest, ApplicationTitle) {
  text::SetAnsiCodePage("UTF-8");
  EXPECT_EQ(ApplicationTitle("C:\\Course\\COURSE.EXE"), "Course");
  EXPECT_EQ(ApplicationTitle("/opt/quillmere/quillmere"), "quillmere");  // first kept as is
  EXPECT_EQ(ApplicationTitle("/x/MyApp.Setup.exe"), "Myapp");
  EXPECT_EQ(ApplicationTitle("/x/.hidden"), "");
  // Characters outside A-Z are left alone.
  EXPECT_EQ(ApplicationTitle("/x/ÉCOLE.exe"), "École");
}

TEST(ErrorReportTest, ApplicationTitleKeepsTrailBytesOfDoubleByteCharacters) {
  text::SetAnsiCodePage("CP936");
  // "丄" is 81 41 in CP936: its trail byte is the letter A and must stay.
  EXPECT_EQ(ApplicationTitle("/x/X\x81\x41YZ.exe"), "X\x81\x41yz");
  text::SetAnsiCodePage("UTF-8");
}

TEST(ErrorReportTest, BoundaryReportsEveryErrorAndGoesOn) {
  text::SetAnsiCodePage("UTF-8");
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
  ErrorBoundary boundary(dialogs, "Course");
  bool after = false;
  boundary.Run([] { throw EInOutError(EInOutError::kFileNotFound); });
  boundary.Run([] { throw 42; });
  boundary.Run([] { throw EConvertError("'x' is not a valid integer value"); });
  boundary.Run([&] { after = true; });
  EXPECT_TRUE(after);
  ASSERT_EQ(journal.Entries().size(), 3u);
  EXPECT_EQ(journal.Entries()[0]["error_report"], "File not found.");
  EXPECT_EQ(journal.Entries()[1]["error_report"], "Unknown error.");
  EXPECT_EQ(journal.Entries()[2]["error_report"], "'x' is not a valid integer value.");
}

TEST(ErrorReportTest, IoErrorMessages) {
  EXPECT_STREQ(EInOutError(2).what(), "File not found");
  EXPECT_STREQ(EInOutError(3).what(), "Invalid filename");
  EXPECT_STREQ(EInOutError(4).what(), "Too many open files");
  EXPECT_STREQ(EInOutError(5).what(), "File access denied");
  EXPECT_STREQ(EInOutError(100).what(), "Read beyond end of file");
  EXPECT_STREQ(EInOutError(101).what(), "Disk full");
  EXPECT_STREQ(EInOutError(87).what(), "I/O error 87");
}

}  // namespace
}  // namespace qm
