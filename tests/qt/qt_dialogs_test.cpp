// The dialogs on Qt Widgets, driven through the shell's own dialog components: windows
// are shown for real (offscreen) and answered by pressing their buttons and keys from
// the nested modal loop, as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "qt/qt_dialogs.h"
#include "qt/qt_skin.h"
#include "text/codepage.h"
#include "ui/dialog_layout.h"
#include "ui/error_report.h"
#include "ui/input_dialog.h"
#include "ui/message_dialog.h"
#include "ui/progress_dialog.h"

namespace qm::qt {
namespace {

// Runs `act` on the modal window once it is up, while the call that showed it waits.
void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    // Shown, and active (activation arrives a moment later), as a user sees it.
    const bool ready = modal && modal->isVisible() && (modal->isActiveWindow() || *tries > 200);
    if (!ready) {
      if (++*tries > 1000) {  // nothing came up: stop waiting
        timer->stop();
        timer->deleteLater();
        ADD_FAILURE() << "no modal window was shown";
      }
      return;
    }
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

void Key(QWidget* window, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  QTest::keyClick(target, key, mods);
}

QPushButton* Button(QWidget* window, const char* name) {
  return window->findChild<QPushButton*>(QString::fromLatin1(name));
}

// The window of that name, a visible one first (closed ones wait for deferred deletion).
QWidget* TopLevel(const char* name) {
  QWidget* hidden = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() != QLatin1String(name)) continue;
    if (w->isVisible()) return w;
    hidden = w;
  }
  return hidden;
}

void SendClose(QWidget* window) {
  QCloseEvent close;
  QApplication::sendEvent(window, &close);
}

class QtDialogsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Every window of a showing is gone once it has closed.
    EXPECT_EQ(TopLevel("TbsMessageForm"), nullptr);
    EXPECT_EQ(TopLevel("InputForm"), nullptr);
  }
  QtDialogs dialogs{"Course"};
  TbsSkinMessage message{dialogs, "Course"};
};

TEST_F(QtDialogsTest, YesNoAnswersByButtonKeysAndCloseCommand) {
  const unsigned yes_no = mbYes | mbNo;
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->objectName(), "TbsMessageForm");
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("确认"));
    EXPECT_EQ(Button(w, "Yes")->text(), QString::fromUtf8("是(&Y)"));
    EXPECT_EQ(Button(w, "No")->text(), QString::fromUtf8("否(&N)"));
    EXPECT_TRUE(Button(w, "Yes")->isDefault());
    Button(w, "Yes")->click();
  });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrYes);

  WhenModal([](QWidget* w) { Button(w, "No")->click(); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrNo);

  WhenModal([](QWidget* w) { Key(w, Qt::Key_Escape); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrNo);

  WhenModal([](QWidget* w) { Key(w, Qt::Key_Return); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrYes);

  // Enter goes to the button that has the focus.
  WhenModal([](QWidget* w) {
    Button(w, "No")->setFocus();
    Key(w, Qt::Key_Enter, Qt::KeypadModifier);
  });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrNo);

  // The access key, with and without Alt.
  WhenModal([](QWidget* w) { Key(w, Qt::Key_N); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrNo);
  WhenModal([](QWidget* w) { Key(w, Qt::Key_Y, Qt::AltModifier); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrYes);

  WhenModal([](QWidget* w) { Key(w, Qt::Key_F4, Qt::AltModifier); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrCancel);
  WhenModal([](QWidget* w) { SendClose(w); });
  EXPECT_EQ(message.MessageDialog("Upgrade?", MessageKind::kConfirmation, yes_no, 0), mrCancel);
}

TEST_F(QtDialogsTest, ErrorWithOkShowsOneButtonThatEnterAndEscapePress) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    WhenModal([key](QWidget* w) {
      EXPECT_EQ(w->windowTitle(), QString::fromUtf8("错误"));
      const auto buttons = w->findChildren<QPushButton*>();
      ASSERT_EQ(buttons.size(), 1);
      EXPECT_EQ(buttons[0]->text(), QString::fromUtf8("确定"));
      EXPECT_EQ(buttons[0]->objectName(), "OK");
      auto* image = w->findChild<QLabel*>("Image");
      ASSERT_NE(image, nullptr);
      EXPECT_FALSE(image->pixmap().isNull());
      Key(w, key);
    });
    EXPECT_EQ(message.MessageDialog(text::A("创建文件夹失败"), MessageKind::kError, mbOK, 0), mrOk);
  }
}

TEST_F(QtDialogsTest, MessageLayoutFollowsTheSkinAndTheText) {
  const QFont label_font = ElementFont("stdlabel", true);
  WhenModal([&](QWidget* w) {
    auto* label = w->findChild<QLabel*>("Message");
    auto* image = w->findChild<QLabel*>("Image");
    ASSERT_NE(label, nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(label->pos(), QPoint(50, 15));
    EXPECT_EQ(label->font().pixelSize(), 14);
    // Two lines (CR LF breaks the line), no wrapping.
    EXPECT_EQ(label->height(), label->sizeHint().height());
    EXPECT_GE(label->height(), 2 * QFontMetrics(label_font).height());
    EXPECT_EQ(image->geometry(), QRect(5, std::max(15 + label->height() / 2 - 16, 10), 32, 32));

    QWidget* client = w->findChild<QWidget*>("Client");
    const int height = *SkinButtonHeight("button");
    QPushButton* yes = Button(w, "Yes");
    QPushButton* no = Button(w, "No");
    QPushButton* cancel = Button(w, "Cancel");
    EXPECT_EQ(yes->size(), QSize(70, height));
    EXPECT_EQ(client->height(), height + label->height() + 50);
    EXPECT_EQ(client->width(), std::max(50 + label->width(), 230) + 40);
    EXPECT_EQ(yes->x(), (client->width() - 230) / 2);
    EXPECT_EQ(no->x(), yes->x() + 80);
    EXPECT_EQ(cancel->x(), yes->x() + 160);
    EXPECT_EQ(yes->y(), client->height() - height - 10);
    EXPECT_TRUE(w->minimumSize() == w->maximumSize());  // fixed border
    // Cancel is the cancel button when in the set.
    Key(w, Qt::Key_Escape);
  });
  EXPECT_EQ(message.MessageDialog("first line\r\nsecond", MessageKind::kWarning,
                                  mbYes | mbNo | mbCancel, 0),
            mrCancel);
}

TEST_F(QtDialogsTest, ALongLineWidensUpToTheWorkAreaWithoutWrapping) {
  const int work_area = QGuiApplication::primaryScreen()->availableGeometry().width();
  WhenModal([&](QWidget* w) {
    auto* label = w->findChild<QLabel*>("Message");
    EXPECT_EQ(w->width(), work_area);
    EXPECT_EQ(label->height(), QFontMetrics(label->font()).height());  // one line
    EXPECT_GT(label->width(), work_area);
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(message.MessageDialog(std::string(400, 'W'), MessageKind::kInformation, mbOK, 0), mrOk);

  // A short one keeps its own width.
  WhenModal([&](QWidget* w) {
    EXPECT_LT(w->width(), work_area);
    EXPECT_GE(w->width(), CurrentSkin().Frame().min_width);
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(message.MessageDialog("W", MessageKind::kInformation, mbOK, 0), mrOk);
}

TEST_F(QtDialogsTest, EmptyButtonSetClosesOnlyByTheCloseCommand) {
  WhenModal([](QWidget* w) {
    Key(w, Qt::Key_Escape);
    Key(w, Qt::Key_Return);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->findChildren<QPushButton*>().isEmpty());
    Key(w, Qt::Key_F4, Qt::AltModifier);
  });
  EXPECT_EQ(message.MessageDialog("nothing to press", MessageKind::kInformation, 0, 0), mrCancel);
}

TEST_F(QtDialogsTest, HelpAsksForTheHelpContextAndStaysOpen) {
  std::vector<int> asked;
  dialogs.SetHelpHandler([&](int context) { asked.push_back(context); });
  WhenModal([&](QWidget* w) {
    Button(w, "Help")->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(asked, std::vector<int>{42});
    Button(w, "OK")->click();
  });
  EXPECT_EQ(message.MessageDialog("help?", MessageKind::kInformation, mbOK | mbHelp, 42), mrOk);
}

TEST_F(QtDialogsTest, CustomKindHasTheTitleAndNoIcon) {
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), "Course");
    EXPECT_EQ(w->findChild<QLabel*>("Image"), nullptr);
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(message.MessageDialog("plain", MessageKind::kCustom, mbOK, 0), mrOk);
}

TEST_F(QtDialogsTest, ModalLoopsNestAndTimersKeepFiring) {
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(5);
  int inner = -1;
  WhenModal([&](QWidget* outer) {
    // A timer's handler shows a second dialog while the first is open.
    QTimer::singleShot(20, [&, outer] {
      WhenModal([outer](QWidget* w) {
        EXPECT_NE(w, outer);
        Button(w, "No")->click();
      });
      inner = message.MessageDialog("inner", MessageKind::kConfirmation, mbYes | mbNo, 0);
      EXPECT_TRUE(outer->isVisible());
      Button(outer, "OK")->click();
    });
  });
  EXPECT_EQ(message.MessageDialog("outer", MessageKind::kInformation, mbOK, 0), mrOk);
  EXPECT_EQ(inner, mrNo);
  // The ticker fell due before the single shot that opened the inner dialog, so it ran
  // inside the outer loop (how often depends on the machine's load).
  EXPECT_GE(ticks, 1);
}

TEST_F(QtDialogsTest, SystemMessageBoxButtonCodesAndEscape) {
  const struct {
    unsigned flags;
    const char* press;  // button text, or "" for Escape
    int code;
  } cases[] = {
      {kMbOk, "", kIdOk},
      {kMbOkCancel, "", kIdCancel},
      {kMbOkCancel, "确定", kIdOk},
      {kMbYesNo | kMbIconQuestion, "否(&N)", kIdNo},
      {kMbYesNoCancel, "", kIdCancel},
      {kMbAbortRetryIgnore, "重试(&R)", kIdRetry},
      {kMbRetryCancel, "重试(&R)", kIdRetry},
      {kMbCancelTryContinue, "继续(&C)", kIdContinue},
  };
  for (const auto& c : cases) {
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      if (*c.press == '\0') {
        Key(w, Qt::Key_Escape);
        return;
      }
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == QString::fromUtf8(c.press)) b->click();
      }
    });
    EXPECT_EQ(dialogs.SystemMessageBox("t", "c", c.flags), c.code) << c.flags << " " << c.press;
  }

  // Yes/No has no Escape and no close command: only a button answers.
  WhenModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->defaultButton()->text(), QString::fromUtf8("否(&N)"));  // MB_DEFBUTTON2
    Key(w, Qt::Key_Escape);
    SendClose(w);
    EXPECT_TRUE(w->isVisible());
    box->defaultButton()->click();
  });
  EXPECT_EQ(dialogs.SystemMessageBox("t", "c", kMbYesNo | kMbIconQuestion | kMbDefButton2), kIdNo);
}

TEST_F(QtDialogsTest, SystemMessageBoxRestoresTheActiveWindowAndFocus) {
  QWidget window;
  auto* first = new QLineEdit(&window);
  auto* second = new QLineEdit(&window);
  second->move(0, 40);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  second->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), second);
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    Key(w, Qt::Key_Return);
  });
  dialogs.SystemMessageBox("t", "c", kMbOk);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), &window);
  EXPECT_EQ(QApplication::focusWidget(), second);
  (void)first;
}

TEST_F(QtDialogsTest, GeneralErrorReportShowsTheMessageWithAFullStop) {
  ErrorBoundary boundary(dialogs, "Course");
  for (const auto& [message_text, shown] :
       {std::pair{"Invalid argument", "Invalid argument."}, std::pair{"Done!", "Done!"}}) {
    WhenModal([&, shown = shown](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->text(), QString::fromUtf8(shown));
      EXPECT_EQ(box->windowTitle(), "Course");
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      ASSERT_EQ(box->buttons().size(), 1);
      EXPECT_EQ(box->buttons()[0]->text(), QString::fromUtf8("确定"));
      Key(w, Qt::Key_Return);
    });
    boundary.Run([m = message_text] { throw std::runtime_error(m); });
  }
}

TEST_F(QtDialogsTest, PlainMessageHasTitleTextNoIconAndOk) {
  WhenModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Course");
    EXPECT_EQ(box->text(), "Settings could not be saved");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons()[0]->text(), "OK");
    box->buttons()[0]->click();
  });
  dialogs.ShowPlainMessage("Settings could not be saved", "Course");
}

TEST_F(QtDialogsTest, InputDialogConfirmsWithEnterAndKeepsTheDefaultOtherwise) {
  TbsSkinInputDialog input(dialogs);
  const std::string caption = text::A("新建类别");
  const std::string prompt = text::A("请输入类别名称");

  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("新建类别"));
    auto* edit = w->findChild<QLineEdit*>("Edit");
    EXPECT_EQ(edit->text(), "http://h/x");
    EXPECT_EQ(edit->selectedText(), "http://h/x");  // all selected at first
    EXPECT_EQ(QApplication::focusWidget(), edit);
    QTest::keyClicks(edit, "typed");  // replaces the selection
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(input.InputText(caption, prompt, "http://h/x"), "typed");

  WhenModal([](QWidget* w) {
    QTest::keyClicks(w->findChild<QLineEdit*>("Edit"), "other");
    Key(w, Qt::Key_Escape);
  });
  EXPECT_EQ(input.InputText(caption, prompt, "http://h/x"), "http://h/x");

  WhenModal([](QWidget* w) { Button(w, "Cancel")->click(); });
  EXPECT_EQ(input.InputText(caption, prompt, "kept"), "kept");
  WhenModal([](QWidget* w) { Key(w, Qt::Key_F4, Qt::AltModifier); });
  EXPECT_EQ(input.InputText(caption, prompt, "kept"), "kept");
  WhenModal([](QWidget* w) { SendClose(w); });
  std::string value = "old";
  EXPECT_FALSE(input.QueryText(caption, prompt, value));
  EXPECT_EQ(value, "old");

  // Empty default: empty both on "确定" with an empty box and on "取消".
  WhenModal([](QWidget* w) { Button(w, "OK")->click(); });
  EXPECT_EQ(input.InputText(caption, prompt, ""), "");
  WhenModal([](QWidget* w) { Button(w, "Cancel")->click(); });
  EXPECT_EQ(input.InputText(caption, prompt, ""), "");

  // Chinese text goes through the code page both ways.
  WhenModal([](QWidget* w) {
    w->findChild<QLineEdit*>("Edit")->setText(QString::fromUtf8("课件"));
    Button(w, "OK")->click();
  });
  EXPECT_EQ(input.InputText(caption, prompt, ""), text::A("课件"));
}

TEST_F(QtDialogsTest, InputTextStopsAt255Characters) {
  TbsSkinInputDialog input(dialogs);
  WhenModal([](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>("Edit");
    QTest::keyClicks(edit, QString(300, QLatin1Char('a')));
    EXPECT_EQ(edit->text().size(), 255);
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(input.InputText("c", "p", ""), std::string(255, 'a'));
}

// With a double-byte code page the texts still arrive whole, and the input limit counts
// characters, not bytes.
TEST_F(QtDialogsTest, DoubleByteCodePageTexts) {
  text::SetAnsiCodePage("CP936");
  TbsSkinMessage cp936_message(dialogs, "Course");
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("错误"));
    EXPECT_EQ(w->findChild<QLabel*>("Message")->text(), QString::fromUtf8("创建文件夹失败"));
    EXPECT_EQ(Button(w, "OK")->text(), QString::fromUtf8("确定"));
    Key(w, Qt::Key_Return);
  });
  EXPECT_EQ(cp936_message.MessageDialog(text::A("创建文件夹失败"), MessageKind::kError, mbOK, 0),
            mrOk);

  TbsSkinInputDialog input(dialogs);
  WhenModal([](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>("Edit");
    EXPECT_EQ(edit->text(), QString::fromUtf8("默认"));
    edit->clear();
    for (int i = 0; i < 300; ++i) {  // typed: 课
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x8BFE)));
      QApplication::sendEvent(edit, &press);
    }
    EXPECT_EQ(edit->text().size(), 255);
    Key(w, Qt::Key_Return);
  });
  const std::string entered = input.InputText("c", "p", text::A("默认"));
  EXPECT_EQ(entered.size(), 510u);
  EXPECT_EQ(text::Ansi().CharCount(entered), 255u);
  text::SetAnsiCodePage("UTF-8");
}

TEST_F(QtDialogsTest, InputDialogLayoutIsInDialogUnits) {
  TbsSkinInputDialog input(dialogs);
  const QFontMetrics metrics(DefaultDialogFont());
  const DialogUnits u = DialogUnits::FromAlphabet(
      metrics.horizontalAdvance(QString::fromLatin1(kDialogUnitAlphabet)), metrics.height());
  WhenModal([&](QWidget* w) {
    auto* prompt = w->findChild<QLabel*>("Prompt");
    auto* edit = w->findChild<QLineEdit*>("Edit");
    QWidget* client = w->findChild<QWidget*>("Client");
    EXPECT_EQ(prompt->pos(), QPoint(u.H(8), u.V(8)));
    EXPECT_EQ(edit->geometry(),
              QRect(u.H(8), prompt->geometry().bottom() + 1 + 5, u.H(164), edit->height()));
    EXPECT_EQ(edit->maxLength(), 255);
    const QRect ok = Button(w, "OK")->geometry();
    EXPECT_EQ(ok, QRect(u.H(38), edit->geometry().bottom() + 1 + 15, u.H(50), u.V(14)));
    EXPECT_EQ(Button(w, "Cancel")->geometry(), QRect(u.H(92), ok.top(), u.H(50), u.V(14)));
    EXPECT_EQ(client->size(), QSize(u.H(180), ok.bottom() + 1 + 13));
    EXPECT_EQ(Button(w, "OK")->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(Button(w, "Cancel")->text(), QString::fromUtf8("取消"));
    Key(w, Qt::Key_Escape);
  });
  input.InputText("c", text::A("升级文件路径："), "");
}

// --- Progress window -------------------------------------------------------------------

QProgressBar* Gauge() {
  QWidget* form = TopLevel("ProgressForm");
  return form ? form->findChild<QProgressBar*>("Gauge") : nullptr;
}

class ProgressTest : public QtDialogsTest {
 protected:
  void SetUp() override {
    progress.Caption = text::A("进度");
    progress.LabelCaption = text::A("进度");
    progress.OnCancel = [this] { ++cancels; };
  }
  void TearDown() override {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(TopLevel("ProgressForm"), nullptr);
    QtDialogsTest::TearDown();
  }
  TbsSkinProgressDialog progress{dialogs};
  int cancels = 0;
};

TEST_F(ProgressTest, StaysOnTopShowsPercentAndClosesPastTheMaximumWithOnCancel) {
  EXPECT_FALSE(progress.ShowProgress());
  QWidget* form = TopLevel("ProgressForm");
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form->windowTitle(), QString::fromUtf8("进度"));
  EXPECT_EQ(form->findChild<QLabel*>("Label")->text(), QString::fromUtf8("进度"));
  EXPECT_EQ(Gauge()->text(), "0%");
  EXPECT_FALSE(progress.ShowProgress());  // already shown: nothing
  EXPECT_EQ(QApplication::topLevelWidgets().count(form), 1);

  progress.SetValue(37);
  EXPECT_EQ(Gauge()->text(), "37%");
  progress.SetValue(250);
  // The gauge stops at its maximum and the window closes; the stored 250 differs from
  // the stored maximum 100, so the dialog reports a cancel.
  ASSERT_NE(Gauge(), nullptr);  // destroyed only when the event loop runs
  EXPECT_EQ(Gauge()->text(), "100%");
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(progress.Shown());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(TopLevel("ProgressForm"), nullptr);

  // Shown again after it closed; reaching exactly the maximum reports nothing.
  progress.SetValue(0);
  EXPECT_FALSE(progress.ShowProgress());
  progress.SetValue(100);
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(progress.Shown());
}

TEST_F(ProgressTest, EmptyRangeClosesAtTheNextValue) {
  progress.MinValue = 0;
  progress.MaxValue = 0;
  progress.ShowProgress();
  EXPECT_EQ(Gauge()->text(), "0%");
  progress.SetValue(0);
  EXPECT_FALSE(progress.Shown());
  EXPECT_EQ(cancels, 0);
}

TEST_F(ProgressTest, CancelButtonEscapeAndCloseCommandReportOnce) {
  progress.ShowProgress();
  Button(TopLevel("ProgressForm"), "Cancel")->click();
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(progress.Shown());

  progress.ShowProgress();
  QWidget* form = TopLevel("ProgressForm");
  ASSERT_NE(form, nullptr);
  Key(form, Qt::Key_Escape);
  EXPECT_EQ(cancels, 2);
  EXPECT_FALSE(form->isVisible());
  Key(form, Qt::Key_Escape);  // a closed window reports no more
  EXPECT_EQ(cancels, 2);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  progress.ShowProgress();
  progress.SetValue(40);
  SendClose(TopLevel("ProgressForm"));
  EXPECT_EQ(cancels, 3);

  // "取消" reports a cancel even when the stored value is the stored maximum; the close
  // command then does not.
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  progress.SetValue(0);
  progress.ShowProgress();
  progress.MaxValue = 50;
  progress.SetValue(50);  // the gauge keeps its range 0..100 and stays open
  ASSERT_TRUE(progress.Shown());
  Button(TopLevel("ProgressForm"), "Cancel")->click();
  EXPECT_EQ(cancels, 4);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  progress.ShowProgress();
  SendClose(TopLevel("ProgressForm"));
  EXPECT_EQ(cancels, 4);
}

TEST_F(ProgressTest, LayoutIsInDialogUnitsWithTheCancelButtonUnderTheGaugesEnd) {
  progress.ShowProgress();
  QWidget* form = TopLevel("ProgressForm");
  const QFontMetrics metrics(DefaultDialogFont());
  const DialogUnits u = DialogUnits::FromAlphabet(
      metrics.horizontalAdvance(QString::fromLatin1(kDialogUnitAlphabet)), metrics.height());
  const QRect label = form->findChild<QLabel*>("Label")->geometry();
  const QRect gauge = Gauge()->geometry();
  const QRect cancel = Button(form, "Cancel")->geometry();
  EXPECT_EQ(label.topLeft(), QPoint(u.H(8), u.V(8)));
  EXPECT_EQ(gauge, QRect(u.H(8), label.bottom() + 1 + 5, u.H(164),
                         CurrentSkin().Element("gauge")->rect.Height()));
  EXPECT_EQ(cancel.right(), gauge.right());
  EXPECT_EQ(cancel.size(), QSize(u.H(50), u.V(14)));
  EXPECT_EQ(cancel.top(), gauge.bottom() + 1 + 15);
  EXPECT_EQ(Button(form, "Cancel")->text(), QString::fromUtf8("取消"));
  EXPECT_EQ(form->findChild<QWidget*>("Client")->size(), QSize(u.H(180), cancel.bottom() + 1 + 13));
  Button(form, "Cancel")->click();
}

TEST_F(ProgressTest, ModalShowingEndsTrueAtTheMaximumAndFalseOnCancel) {
  progress.ShowType = stModal;
  int ticks = 0;
  WhenModal([&](QWidget* w) {
    EXPECT_EQ(w->objectName(), "ProgressForm");
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    // Values arrive from timers while the modal loop runs.
    QTimer::singleShot(10, [&] {
      ++ticks;
      progress.SetValue(60);
      EXPECT_EQ(Gauge()->text(), "60%");
      QTimer::singleShot(10, [&] {
        ++ticks;
        progress.SetValue(100);
      });
    });
  });
  EXPECT_TRUE(progress.ShowProgress());
  EXPECT_EQ(ticks, 2);
  EXPECT_FALSE(progress.Shown());

  progress.SetValue(0);
  WhenModal([](QWidget* w) { Key(w, Qt::Key_Escape); });
  EXPECT_FALSE(progress.ShowProgress());
  WhenModal([](QWidget* w) { SendClose(w); });
  EXPECT_FALSE(progress.ShowProgress());
  EXPECT_EQ(cancels, 0);  // a modal showing raises no event
}

TEST(SkinLook, EveryWidgetTakesTheSkinWithoutFurtherCalls) {
  // A window that knows nothing of the skin.
  QWidget window;
  auto* button = new QPushButton("x", &window);
  auto* edit = new QLineEdit(&window);
  EXPECT_EQ(button->font().pixelSize(), CurrentSkin().Element("button")->font->height);
  EXPECT_EQ(edit->font().pixelSize(), CurrentSkin().Element("edit")->font->height);
  EXPECT_EQ(window.palette().color(QPalette::Window).rgb() & 0xffffff,
            *CurrentSkin().Color("window"));
  // "宋体" falls back to a CJK font of the system that has the dialogs' glyphs.
  const QFont font = DefaultDialogFont();
  EXPECT_TRUE(font.families().contains(QFontInfo(font).family()))
      << QFontInfo(font).family().toStdString();
  EXPECT_TRUE(QFontMetrics(font).inFontUcs4(0x786E));  // 确
  EXPECT_TRUE(
      QFontMetrics(SkinQFont(CurrentSkin().Frame().caption_font)).inFontUcs4(0x8BEF));  // 误
  // Painting with the skin's pictures works for every control it draws.
  auto* gauge = new QProgressBar(&window);
  gauge->setValue(50);
  window.resize(200, 120);
  edit->move(0, 40);
  gauge->move(0, 80);
  const QImage image = window.grab().toImage();
  EXPECT_FALSE(image.isNull());
  // The button's top-left inner pixel comes from the skin's button picture, not Fusion.
  const QPixmap picture = SkinPicture(CurrentSkin().Element("button")->picture_file);
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(image.pixelColor(button->x() + button->width() / 2, button->y()).rgb(),
            picture.toImage().pixelColor(picture.width() / 8, 0).rgb());
}

}  // namespace
}  // namespace qm::qt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  qm::text::SetAnsiCodePage("UTF-8");
  qm::qt::InstallSkin(app);
  return RUN_ALL_TESTS();
}
