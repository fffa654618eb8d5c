#include "qt/qt_dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "qt/qt_skin.h"
#include "text/codepage.h"
#include "ui/dialog_layout.h"
#include "ui/message_dialog.h"
#include "ui/progress_dialog.h"

namespace qm::qt {

namespace {

// The skin elements the dialogs draw their controls with, preferring the skin's fonts.
constexpr const char* kButtonElement = "button";
constexpr const char* kLabelElement = "stdlabel";
constexpr const char* kEditElement = "edit";
constexpr const char* kGaugeElement = "gauge";
constexpr bool kUseSkinFont = true;
// The gauge's own scale: the value's place in the range, in steps of 1/10000.
constexpr int kGaugeSteps = 10000;
constexpr int kDefaultGaugeHeight = 18;

QString ToQ(const std::string& ansi) {
  return QString::fromStdU16String(text::Ansi().ToUtf16(ansi));
}

std::string FromQ(const QString& s) {
  return text::Ansi().FromUtf16(s.toStdU16String());
}

// Text as a label shows it: CR LF and a lone CR start new lines as LF does.
QString DisplayText(QString s) {
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QRect ToQRect(const LayoutRect& r) {
  return QRect(r.left, r.top, r.width, r.height);
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(false);
  label->setFont(ElementFont(kLabelElement, kUseSkinFont));
  label->setText(text);
  return label;
}

QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setFont(ElementFont(kButtonElement, kUseSkinFont));
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAutoDefault(true);
  return button;
}

DialogUnits UnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const QString alphabet = QString::fromLatin1(kDialogUnitAlphabet);
  return DialogUnits::FromAlphabet(metrics.horizontalAdvance(alphabet), metrics.height());
}

QSize NaturalSize(QLabel* label) {
  if (label->text().isEmpty()) return QSize(0, QFontMetrics(label->font()).height());
  return label->sizeHint();
}

int WorkAreaWidth() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry().width() : 0;
}

// The access key a caption marks with "&" (not "&&"), or 0.
QChar AccessKey(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return caption[i + 1].toUpper();
  }
  return QChar();
}

const char* ButtonName(int bit) {
  static const char* const names[] = {"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                      "Ignore", "All", "NoToAll", "YesToAll", "Help"};
  return bit >= 0 && bit < 11 ? names[bit] : "Button";
}

// --- The message dialog -----------------------------------------------------------------

class TbsMessageForm : public SkinnedWindow {
 public:
  TbsMessageForm() { setObjectName(QStringLiteral("TbsMessageForm")); }

  QPushButton* default_button = nullptr;
  QPushButton* cancel_button = nullptr;
  std::vector<QPushButton*> buttons;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == 0) {
      // A focused button takes Enter itself; otherwise the default button does.
      if (default_button) default_button->click();
      return;
    }
    if (event->key() == Qt::Key_Escape && mods == 0) {
      if (cancel_button) cancel_button->click();
      return;
    }
    // An access key works without Alt, as in every dialog whose focus is on a button.
    if ((mods == 0 || mods == Qt::AltModifier) && !event->text().isEmpty()) {
      const QChar key = event->text().at(0).toUpper();
      for (QPushButton* button : buttons) {
        if (AccessKey(button->text()) == key) {
          button->setFocus(Qt::ShortcutFocusReason);
          button->click();
          return;
        }
      }
    }
    SkinnedWindow::keyPressEvent(event);
  }
  // The window's close command (Alt+F4): the Cancel value.
  void reject() override { done(mrCancel); }
};

// --- The input dialog -------------------------------------------------------------------

class InputForm : public SkinnedWindow {
 public:
  InputForm() { setObjectName(QStringLiteral("InputForm")); }
};

// --- The progress window ----------------------------------------------------------------

class ProgressForm : public SkinnedWindow {
 public:
  ProgressForm(const ProgressDialogRequest& request,
               std::function<void(ProgressCloseReason)> on_close)
      : min_(request.min),
        max_(request.max),
        modal_(!request.stay_on_top),
        on_user_close_(std::move(on_close)) {
    setObjectName(QStringLiteral("ProgressForm"));
    if (!modal_) setWindowFlag(Qt::WindowStaysOnTopHint);
  }

  void SetValue(std::int64_t value, QProgressBar* gauge) {
    value = std::clamp(value, min_, std::max(min_, max_));
    int steps = 0;
    if (max_ > min_) {
      // In floating point: the difference of two extreme values does not fit 64 bits.
      const long double share = (static_cast<long double>(value) - static_cast<long double>(min_)) /
                                (static_cast<long double>(max_) - static_cast<long double>(min_));
      steps = static_cast<int>(std::lround(share * kGaugeSteps));
    }
    gauge->setValue(steps);
    gauge->setFormat(QString::number(GaugePercent(min_, max_, value)) + QLatin1Char('%'));
  }

  // The owner closes the window: its value reached the maximum.
  void OwnerClose() {
    if (finished_) return;
    finished_ = true;
    reached_ = true;
    End(QDialog::Accepted);
  }

  // The user closes the window: "取消", Escape or the close command.
  void UserClose(ProgressCloseReason reason) {
    if (finished_) return;
    finished_ = true;
    End(QDialog::Rejected);
    if (on_user_close_) on_user_close_(reason);
  }

  // The owner no longer listens (it destroyed its handle).
  void Forget() { on_user_close_ = nullptr; }

  bool Finished() const { return finished_; }
  bool Reached() const { return reached_; }
  bool Modal() const { return modal_; }

 protected:
  void reject() override { UserClose(ProgressCloseReason::kCancelButton); }  // Escape
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    UserClose(ProgressCloseReason::kCloseCommand);
  }

 private:
  void End(int result) {
    if (modal_) {
      done(result);  // ends the modal loop; the owner destroys the window
    } else {
      hide();
      deleteLater();  // destroyed when the event loop next runs
    }
  }

  std::int64_t min_;
  std::int64_t max_;
  bool modal_;
  bool finished_ = false;
  bool reached_ = false;
  std::function<void(ProgressCloseReason)> on_user_close_;
};

class QtProgressWindow : public IProgressWindow {
 public:
  QtProgressWindow(ProgressForm* form, QProgressBar* gauge) : form_(form), gauge_(gauge) {}
  ~QtProgressWindow() override {
    if (!form_) return;
    form_->Forget();
    form_->hide();
    form_->deleteLater();  // it may be inside one of its own events
  }

  void SetGauge(std::int64_t value) override {
    if (form_ && gauge_) form_->SetValue(value, gauge_);
  }
  void Close() override {
    if (form_) form_->OwnerClose();
  }
  bool RunModal() override {
    if (!form_) return false;
    if (!form_->Finished()) form_->exec();
    return form_ && form_->Reached();
  }

 private:
  QPointer<ProgressForm> form_;
  QPointer<QProgressBar> gauge_;
};

}  // namespace

QtDialogs::QtDialogs(std::string app_title)
    : title_(app_title.empty() ? ApplicationTitle(FromQ(QCoreApplication::applicationFilePath()))
                               : std::move(app_title)),
      boundary_(*this, title_) {}

QtDialogs::~QtDialogs() = default;

int QtDialogs::ShowMessageDialog(const MessageDialogRequest& request) {
  auto form = std::make_unique<TbsMessageForm>();
  form->setWindowTitle(ToQ(request.caption));
  form->setProperty("HelpContext", request.help_context);
  QWidget* client = form->Client();

  QLabel* label = NewLabel(client, QStringLiteral("Message"), DisplayText(ToQ(request.text)));
  const QSize label_size = NaturalSize(label);

  MessageLayoutInput input;
  input.label = {label_size.width(), label_size.height()};
  input.button_count = static_cast<int>(request.button_list.size());
  input.has_icon = request.kind != MessageKind::kCustom;
  input.skin_button_height = SkinButtonHeight(kButtonElement);
  input.frame_width = SkinnedWindow::FrameWidth();
  input.frame_height = SkinnedWindow::FrameHeight();
  input.skin_min_width = CurrentSkin().Frame().min_width;
  input.frame_max_width = CurrentSkin().Frame().max_width;
  input.work_area_width = WorkAreaWidth();
  const MessageLayout layout = LayoutMessageDialog(input);

  label->setGeometry(ToQRect(layout.label));
  if (layout.icon) {
    QStyle::StandardPixmap stock = QStyle::SP_MessageBoxCritical;
    switch (request.kind) {
      case MessageKind::kWarning:
        stock = QStyle::SP_MessageBoxWarning;
        break;
      case MessageKind::kInformation:
        stock = QStyle::SP_MessageBoxInformation;
        break;
      case MessageKind::kConfirmation:
        stock = QStyle::SP_MessageBoxQuestion;
        break;
      default:
        break;
    }
    auto* image = new QLabel(client);
    image->setObjectName(QStringLiteral("Image"));
    image->setPixmap(form->style()->standardIcon(stock).pixmap(kMessageIconSize, kMessageIconSize));
    image->setGeometry(ToQRect(*layout.icon));
  }

  for (std::size_t i = 0; i < request.button_list.size(); ++i) {
    const DialogButton& choice = request.button_list[i];
    QPushButton* button =
        NewButton(client, QString::fromLatin1(ButtonName(choice.bit)), ToQ(choice.caption));
    button->setGeometry(ToQRect(layout.buttons[i]));
    TbsMessageForm* raw = form.get();
    const int result = choice.result;
    const int help_context = request.help_context;
    QObject::connect(button, &QPushButton::clicked, raw, [this, raw, result, help_context] {
      if (result != mrNone) {
        raw->done(result);
      } else if (help_) {
        boundary_.Run([&] { help_(help_context); });
      }
    });
    form->buttons.push_back(button);
  }
  if (request.default_button >= 0 &&
      request.default_button < static_cast<int>(form->buttons.size())) {
    form->default_button = form->buttons[static_cast<std::size_t>(request.default_button)];
    form->default_button->setDefault(true);
  }
  if (request.cancel_button >= 0 &&
      request.cancel_button < static_cast<int>(form->buttons.size())) {
    form->cancel_button = form->buttons[static_cast<std::size_t>(request.cancel_button)];
  }
  QPushButton* first_focus = form->default_button    ? form->default_button
                             : form->buttons.empty() ? nullptr
                                                     : form->buttons.front();

  form->SetClientSize(layout.client.width, layout.client.height);
  form->CenterOnScreen();
  if (first_focus) first_focus->setFocus(Qt::OtherFocusReason);
  return form->exec();
}

void QtDialogs::ShowPlainMessage(const std::string& text, const std::string& caption) {
  QMessageBox box;  // owned by the application, not skinned
  box.setObjectName(QStringLiteral("PlainMessage"));
  box.setWindowModality(Qt::ApplicationModal);
  box.setIcon(QMessageBox::NoIcon);
  box.setWindowTitle(ToQ(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(ToQ(text)));
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.exec();
}

int QtDialogs::SystemMessageBox(const std::string& text, const std::string& caption,
                                unsigned flags) {
  const QPointer<QWidget> active = QApplication::activeWindow();
  const QPointer<QWidget> focus = QApplication::focusWidget();

  QMessageBox box;
  box.setObjectName(QStringLiteral("SystemMessageBox"));
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(ToQ(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(ToQ(text)));
  switch (flags & 0xF0u) {
    case kMbIconHand:
      box.setIcon(QMessageBox::Critical);
      break;
    case kMbIconQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case kMbIconExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case kMbIconAsterisk:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }

  struct Choice {
    const char* caption;  // UTF-8
    int code;
  };
  std::vector<Choice> choices;
  switch (flags & 0xFu) {
    case kMbOkCancel:
      choices = {{"确定", kIdOk}, {"取消", kIdCancel}};
      break;
    case kMbAbortRetryIgnore:
      choices = {{"中止(&A)", kIdAbort}, {"重试(&R)", kIdRetry}, {"忽略(&I)", kIdIgnore}};
      break;
    case kMbYesNoCancel:
      choices = {{"是(&Y)", kIdYes}, {"否(&N)", kIdNo}, {"取消", kIdCancel}};
      break;
    case kMbYesNo:
      choices = {{"是(&Y)", kIdYes}, {"否(&N)", kIdNo}};
      break;
    case kMbRetryCancel:
      choices = {{"重试(&R)", kIdRetry}, {"取消", kIdCancel}};
      break;
    case kMbCancelTryContinue:
      choices = {{"取消", kIdCancel}, {"重试(&T)", kIdTryAgain}, {"继续(&C)", kIdContinue}};
      break;
    default:
      choices = {{"确定", kIdOk}};
      break;
  }
  std::vector<std::pair<QAbstractButton*, int>> codes;
  QPushButton* escape = nullptr;
  for (const Choice& choice : choices) {
    QPushButton* button = box.addButton(QString::fromUtf8(choice.caption), QMessageBox::ActionRole);
    codes.emplace_back(button, choice.code);
    if (choice.code == kIdCancel) escape = button;
  }
  // Escape and the close command answer Cancel; a lone OK answers them too; other sets
  // (Yes/No, Abort/Retry/Ignore) must be answered with a button.
  if (!escape && codes.size() == 1) escape = static_cast<QPushButton*>(codes.front().first);
  if (escape) box.setEscapeButton(escape);
  const std::size_t default_index = (flags >> 8) & 0xFu;
  box.setDefaultButton(
      static_cast<QPushButton*>(codes[default_index < codes.size() ? default_index : 0].first));

  box.exec();
  int code = escape ? codes.front().second : kIdCancel;
  for (const auto& [button, button_code] : codes) {
    if (button == box.clickedButton()) code = button_code;
  }
  if (!box.clickedButton() && escape) {
    for (const auto& [button, button_code] : codes) {
      if (button == escape) code = button_code;
    }
  }

  if (active) active->activateWindow();
  if (focus) focus->setFocus(Qt::OtherFocusReason);
  return code;
}

void QtDialogs::ShowErrorReport(const std::string& text, const std::string& caption) {
  SystemMessageBox(text, caption, kMbIconHand | kMbOk);
}

std::optional<std::string> QtDialogs::ShowInputDialog(const InputDialogRequest& request) {
  auto form = std::make_unique<InputForm>();
  form->setWindowTitle(ToQ(request.caption));
  const DialogUnits units = UnitsOf(DefaultDialogFont());
  QWidget* client = form->Client();

  QLabel* prompt = NewLabel(client, QStringLiteral("Prompt"), DisplayText(ToQ(request.prompt)));
  auto* edit = new QLineEdit(client);
  edit->setObjectName(QStringLiteral("Edit"));
  edit->setFont(ElementFont(kEditElement, kUseSkinFont));
  edit->setMaxLength(std::max(0, request.max_length));
  edit->setText(ToQ(request.text));
  QPushButton* ok = NewButton(client, QStringLiteral("OK"), QStringLiteral("确定"));
  QPushButton* cancel = NewButton(client, QStringLiteral("Cancel"), QStringLiteral("取消"));

  const QSize prompt_size = NaturalSize(prompt);
  const InputLayout layout = LayoutInputDialog(units, {prompt_size.width(), prompt_size.height()},
                                               edit->sizeHint().height());
  prompt->setGeometry(ToQRect(layout.prompt));
  edit->setGeometry(ToQRect(layout.edit));
  ok->setGeometry(ToQRect(layout.ok));
  cancel->setGeometry(ToQRect(layout.cancel));
  ok->setDefault(true);
  InputForm* raw = form.get();
  QObject::connect(ok, &QPushButton::clicked, raw, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, raw, &QDialog::reject);

  form->SetClientSize(layout.client.width, layout.client.height);
  form->CenterOnScreen();
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  if (form->exec() != QDialog::Accepted) return std::nullopt;
  return FromQ(edit->text());
}

std::unique_ptr<IProgressWindow> QtDialogs::ShowProgressWindow(
    const ProgressDialogRequest& request, std::function<void(ProgressCloseReason)> on_user_close) {
  auto on_close = [this, on_user_close = std::move(on_user_close)](ProgressCloseReason reason) {
    if (on_user_close) boundary_.Run([&] { on_user_close(reason); });
  };
  auto* form = new ProgressForm(request, std::move(on_close));
  form->setWindowTitle(ToQ(request.caption));
  const DialogUnits units = UnitsOf(DefaultDialogFont());
  QWidget* client = form->Client();

  QLabel* label = NewLabel(client, QStringLiteral("Label"), DisplayText(ToQ(request.label)));
  auto* gauge = new QProgressBar(client);
  gauge->setObjectName(QStringLiteral("Gauge"));
  gauge->setFont(ElementFont(kGaugeElement, kUseSkinFont));
  gauge->setRange(0, kGaugeSteps);
  gauge->setTextVisible(request.show_percent);
  gauge->setAlignment(Qt::AlignCenter);
  form->SetValue(request.value, gauge);
  QPushButton* cancel = NewButton(client, QStringLiteral("Cancel"), QStringLiteral("取消"));
  QObject::connect(cancel, &QPushButton::clicked, form,
                   [form] { form->UserClose(ProgressCloseReason::kCancelButton); });

  int gauge_height = kDefaultGaugeHeight;
  if (const SkinElement* element = CurrentSkin().Element(kGaugeElement);
      element && !element->rect.Empty()) {
    gauge_height = element->rect.Height();
  }
  const QSize label_size = NaturalSize(label);
  const ProgressLayout layout =
      LayoutProgressDialog(units, {label_size.width(), label_size.height()}, gauge_height);
  label->setGeometry(ToQRect(layout.label));
  gauge->setGeometry(ToQRect(layout.gauge));
  cancel->setGeometry(ToQRect(layout.cancel));
  form->SetClientSize(layout.client.width, layout.client.height);
  form->CenterOnScreen();

  auto window = std::make_unique<QtProgressWindow>(form, gauge);
  if (!form->Modal()) {
    form->show();
    form->raise();
    form->activateWindow();
  }
  cancel->setFocus(Qt::OtherFocusReason);
  return window;
}

}  // namespace qm::qt
