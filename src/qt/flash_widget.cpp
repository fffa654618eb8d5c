#include "qt/flash_widget.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/errors.h"
#include "player/movie_file.h"
#include "qt/flash_scheme.h"
#include "qt/web_engine_host.h"

namespace qm::qt {

namespace {

constexpr char kCallPrompt[] = "\x01qm-call";
constexpr char kCommandPrompt[] = "\x01qm-fscommand";
// Generous: on a busy machine Ruffle takes well over ten seconds to compile and start,
// and a movie that gives up early makes the runtime check report a broken runtime.
constexpr int kReadyTimeoutMs = 60000;
constexpr int kFirstFrameTimeoutMs = 60000;
constexpr int kDeferredStartMs = 10000;

// Start-up milestones of the host, beside the page's (QM_FLASH_TRACE).
void Trace(const char* what) {
  static const bool on = qEnvironmentVariableIsSet("QM_FLASH_TRACE");
  if (on) qInfo("qm-trace host-%s %lld", what, QDateTime::currentMSecsSinceEpoch());
}

// A JavaScript literal of the value.
QString Literal(const QJsonValue& value) {
  const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString Text(const std::u16string& s) {
  return QString::fromStdU16String(s);
}

std::string Utf8(const QString& s) {
  return s.toStdString();
}

// Movie calls in progress, over all controls, and every control, for the deliveries
// after such a call.
int calls_in_progress = 0;

std::vector<FlashWidget*>& Controls() {
  static std::vector<FlashWidget*> controls;
  return controls;
}

// Whether the player logs its warnings as well as its errors.
bool player_warnings_logged = false;

}  // namespace

class FlashPage : public QWebEnginePage {
 public:
  FlashPage(FlashWidget* owner) : QWebEnginePage(FlashScheme::Profile(), owner), owner_(owner) {}

 protected:
  bool javaScriptPrompt(const QUrl&, const QString& message, const QString& payload,
                        QString* result) override {
    if (message == QLatin1String(kCallPrompt)) {
      *result = owner_->MovieCall(payload);
      return true;
    }
    if (message == QLatin1String(kCommandPrompt)) {
      owner_->MovieCommand(payload);
      result->clear();
      return true;
    }
    return false;  // the movie's own prompts are not shown
  }

  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override {
    if (message.startsWith(QLatin1String("qm-trace "))) {
      if (qEnvironmentVariableIsSet("QM_FLASH_TRACE")) qInfo("%s", qPrintable(message));
      return;
    }
    if (message == QLatin1String("qm-first-frame")) {
      if (owner_->player_event_) owner_->player_event_(QStringLiteral("first_frame"), {});
      owner_->FirstFrameDrawn();
      return;
    }
    if (owner_->player_event_ && !message.startsWith(QLatin1String("qm-"))) {
      owner_->player_event_(level == ErrorMessageLevel     ? QStringLiteral("error")
                            : level == WarningMessageLevel ? QStringLiteral("warning")
                                                           : QStringLiteral("info"),
                            message);
    }
    if (message.startsWith(QLatin1String("qm-movie-failed"))) {
      QString detail = message.mid(16).trimmed();
      if (detail.isEmpty()) detail = QStringLiteral("The Flash player stopped playing the movie.");
      owner_->ReportFailure(IFlashControl::Failure::kMovieFailed, detail);
      return;
    }
    if (qEnvironmentVariableIsSet("QM_FLASH_LOG") || level == ErrorMessageLevel) {
      qInfo("flash: %s (%s:%d)", qPrintable(message), qPrintable(source), line);
    }
  }

  // The page never navigates away from the player.
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool is_main_frame) override {
    return !is_main_frame || url.toString() == FlashScheme::PageUrl(owner_->Host());
  }

 private:
  FlashWidget* owner_;
};

FlashWidget::FlashWidget(Scale scale, QWidget* parent, Sound sound)
    : QWidget(parent),
      scale_(scale),
      host_(FlashScheme::NewHost()),
      soundless_(sound == Sound::kNone) {
  Trace("widget");
  Controls().push_back(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  page_ = new FlashPage(this);
  page_->setBackgroundColor(Qt::white);
  QWebEngineSettings* settings = page_->settings();
  settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
  view_->setPage(page_);
  layout->addWidget(view_);

  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    Trace("page-loaded");
    page_ready_ = ok;
    page_failed_ = !ok;
    WatchInputWidget();
    if (!ok) return;
    while (!before_ready_.empty()) {
      const QString script = before_ready_.front();
      before_ready_.pop_front();
      RunLater(script);
    }
  });
  connect(page_, &QWebEnginePage::renderProcessTerminated, this, [this] {
    page_ready_ = false;
    page_failed_ = true;
    if (process_lost_) return;
    process_lost_ = true;
    // What waited for the page or the movie goes with it.
    before_ready_.clear();
    held_.clear();
    ReportFailure(Failure::kProcessLost, QStringLiteral("The Flash player's process ended."));
  });
  // A soundless control decides from the event loop, once its owner has given the
  // other controls their movies.
  if (soundless_) {
    QTimer::singleShot(0, this, [this] { StartPage(false); });
  } else {
    StartPage(true);
  }
}

void FlashWidget::StartPage(bool now) {
  if (page_started_) return;
  // A soundless control (the version movie) waits until a shown control's movie has
  // drawn its first frame: on two cores, the two players' start-ups would otherwise
  // share the processor, and the screen would come later. Its movie is read only after
  // a second; whoever reads it waits, and it starts after kDeferredStartMs at the latest.
  if (!now && soundless_) {
    for (const FlashWidget* other : Controls()) {
      if (other != this && !other->soundless_ && !other->movie_.isEmpty() && !other->page_failed_ &&
          !other->first_frame_drawn_) {
        Trace("page-deferred");
        QTimer::singleShot(kDeferredStartMs, this, [this] { StartPage(true); });
        return;
      }
    }
  }
  page_started_ = true;
  page_->load(QUrl(FlashScheme::PageUrl(host_)));
  Trace("page-requested");
}

void FlashWidget::FirstFrameDrawn() {
  if (first_frame_drawn_) return;
  first_frame_drawn_ = true;
  ReturnFreedMemoryLater();
  for (FlashWidget* control : Controls()) {
    if (!control->page_started_)
      QTimer::singleShot(0, control, [control] { control->StartPage(true); });
  }
}

void FlashWidget::LogPlayerWarnings(bool on) {
  player_warnings_logged = on;
}

void FlashWidget::ReportFailure(Failure failure, const QString& detail) {
  QTimer::singleShot(0, this, [this, failure, detail] {
    if (MovieBlocked()) {  // never inside a movie's call: once it has returned
      QTimer::singleShot(100, this, [this, failure, detail] { ReportFailure(failure, detail); });
      return;
    }
    try {
      RaiseFailure(failure, detail.toStdU16String());
    } catch (...) {
      // The handlers report their own errors.
    }
  });
}

void FlashWidget::ReleasePage() {
  Trace("page-released");
  process_lost_ = true;  // what the movie was asked for now gets the stopped player's answer
  page_ready_ = false;
  before_ready_.clear();
  held_.clear();
  page_->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
  ReturnFreedMemoryLater();
}

void FlashWidget::RestartPage() {
  if (page_->lifecycleState() == QWebEnginePage::LifecycleState::Discarded)
    page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
  process_lost_ = false;
  page_failed_ = false;
  page_ready_ = false;
  first_frame_drawn_ = false;
  page_started_ = false;
  StartPage(true);
}

FlashWidget::~FlashWidget() {
  Controls().erase(std::find(Controls().begin(), Controls().end(), this));
}

bool FlashWidget::MovieBlocked() const {
  return calls_in_progress > 0;
}

void FlashWidget::PostDeliveries() {
  for (FlashWidget* control : Controls()) {
    if (control->held_.empty() || control->delivery_posted_) continue;
    control->delivery_posted_ = true;
    QTimer::singleShot(0, control, [control] {
      control->delivery_posted_ = false;
      control->DeliverHeld();
    });
  }
}

QWidget* FlashWidget::InputWidget() const {
  QWidget* proxy = view_->focusProxy();
  return proxy != nullptr ? proxy : view_;
}

void FlashWidget::WatchInputWidget() {
  QWidget* now = InputWidget();
  if (now != input_widget_) {
    input_widget_ = now;
    emit inputWidgetChanged(now);
  }
}

bool FlashWidget::WaitUntilReady(int timeout_ms) {
  if (page_ready_ || page_failed_) return page_ready_;
  QEventLoop loop;
  QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
  auto done = connect(page_, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
  loop.exec();
  disconnect(done);
  return page_ready_;
}

// --- The movie's calls ---------------------------------------------------------------------

QString FlashWidget::MovieCall(const QString& request) {
  std::optional<std::u16string> reply;
  ++calls_in_progress;
  replies_.push_back(&reply);
  try {
    RaiseCommands();  // fscommands the movie issued before this call come first
    RaiseFlashCall(request.toStdU16String());
  } catch (...) {
    // The shell's handlers keep their errors; nothing may reach the web engine.
  }
  replies_.pop_back();
  --calls_in_progress;
  PostDeliveries();
  return reply ? QStringLiteral("1") + Text(*reply) : QStringLiteral("0");
}

void FlashWidget::SetReturnValue(const std::u16string& reply) {
  if (replies_.empty()) throw EFlashControlError("No ExternalInterface call is in progress");
  *replies_.back() = reply;
}

void FlashWidget::MovieCommand(const QString& payload) {
  const QJsonArray command = QJsonDocument::fromJson(payload.toUtf8()).array();
  commands_.emplace_back(command.at(0).toString(), command.at(1).toString());
  QTimer::singleShot(0, this, &FlashWidget::RaiseCommands);
}

void FlashWidget::RaiseCommands() {
  while (!commands_.empty()) {
    const auto [command, argument] = commands_.front();
    commands_.pop_front();
    try {
      RaiseFSCommand(command.toStdU16String(), argument.toStdU16String());
    } catch (...) {
      // As for FlashCall: the handlers report their own errors.
    }
  }
}

// --- Calls into the movie ------------------------------------------------------------------

void FlashWidget::DeliverHeld() {
  if (MovieBlocked() || !page_ready_) return;
  while (!held_.empty()) {
    const QString script = held_.front();
    held_.pop_front();
    page_->runJavaScript(script);
  }
}

void FlashWidget::RunLater(const QString& script) {
  if (!page_ready_) {
    before_ready_.push_back(script);
  } else if (MovieBlocked()) {
    held_.push_back(script);
  } else {
    DeliverHeld();
    page_->runJavaScript(script);
  }
}

QVariant FlashWidget::Evaluate(const QString& expression) {
  const Result result = Run("(() => { try { return {ok: true, value: (" + expression +
                            ")}; } catch (e) { return {ok: false, error: String(e)}; } })()");
  if (!result.ok) throw EFlashControlError(Utf8(result.error));
  return result.value;
}

FlashWidget::Result FlashWidget::Run(const QString& script) {
  Result result;
  if (process_lost_) {
    result.stopped = true;
    result.error = "The Flash player has stopped";
    return result;
  }
  if (!page_ready_ && !WaitUntilReady(kReadyTimeoutMs)) {
    result.error = "The Flash player could not be started";
    return result;
  }
  DeliverHeld();  // what was held goes first

  struct Wait {
    bool done = false;
    QVariant value;
    QEventLoop* loop = nullptr;
  };
  auto wait = std::make_shared<Wait>();
  QEventLoop loop;
  wait->loop = &loop;
  page_->runJavaScript(script, [wait](const QVariant& value) {
    wait->value = value;
    wait->done = true;
    if (wait->loop != nullptr) wait->loop->quit();
  });
  auto crashed = connect(page_, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
  if (!wait->done) loop.exec();
  disconnect(crashed);
  wait->loop = nullptr;
  if (!wait->done) {
    result.stopped = true;
    result.error = "The Flash player has stopped";
    return result;
  }
  const QVariantMap answer = wait->value.toMap();
  result.ok = answer.value("ok").toBool();
  result.value = answer.value("value");
  result.error = answer.value("error").toString();
  if (!result.ok && result.error.isEmpty()) result.error = "The Flash player refused the call";
  return result;
}

std::u16string FlashWidget::CallFunction(const std::u16string& request) {
  const QString script = "qm.callFunction(" + Literal(Text(request)) + ")";
  if (MovieBlocked()) {  // the movie waits for the shell: deliver when it is free
    held_.push_back(script);
    return {};
  }
  const Result result = Run(script);
  if (result.stopped) return {};  // the movie is gone: the empty reply
  if (!result.ok) throw EFlashControlError(Utf8(result.error));
  return result.value.toString().toStdU16String();
}

std::u16string FlashWidget::GetVariable(const std::u16string& name) {
  if (movie_.isEmpty()) throw EFlashControlError("No movie is loaded");
  if (!QFileInfo(movie_).isFile()) throw EFlashControlError("The movie could not be loaded");
  if (!movie_problem_.isEmpty()) throw EFlashControlError(Utf8(movie_problem_));
  const QString script = "qm.getVariable(" + Literal(Text(name)) + ")";
  QElapsedTimer waited;
  waited.start();
  while (true) {
    if (MovieBlocked()) throw EFlashControlBusy("The movie is busy");
    const Result result = Run(script);
    if (result.ok && result.value.typeId() == QMetaType::QString) {
      return result.value.toString().toStdU16String();
    }
    if (!result.ok) throw EFlashControlError(Utf8(result.error));
    // The movie's first frame has not run yet.
    if (waited.elapsed() > kFirstFrameTimeoutMs) {
      throw EFlashControlError("The movie did not start");
    }
    QEventLoop pause;
    QTimer::singleShot(20, &pause, &QEventLoop::quit);
    pause.exec();
  }
}

void FlashWidget::SetPlaying(bool playing) {
  if (movie_.isEmpty()) return;
  playing_ = playing;
  const QString script = playing ? "qm.setPlaying(true)" : "qm.setPlaying(false)";
  if (MovieBlocked()) {
    held_.push_back(script);
    return;
  }
  const Result result = Run(script);
  if (result.stopped) return;  // the movie is gone; the next one starts playing
  if (!result.ok) throw EFlashControlError(Utf8(result.error));
}

void FlashWidget::SetMovie(const std::u16string& path_text) {
  const QString path = Text(path_text);
  movie_ = path;
  movie_problem_.clear();
  playing_ = !path.isEmpty();
  if (process_lost_) RestartPage();
  if (path.isEmpty()) {
    if (!isVisible() && page_started_ && !process_lost_) {
      ReleasePage();
    } else {
      RunLater("qm.unload()");
    }
    return;
  }
  const QFileInfo file(path);
  // A movie that cannot be played is not handed to the player, which would show nothing.
  QFile data(path);
  if (!data.open(QIODevice::ReadOnly)) {
    movie_problem_ = "The file could not be read: " + data.errorString();
  } else {
    const QByteArray bytes = data.readAll();
    if (const auto problem =
            player::MovieProblem(std::string_view(bytes.constData(), bytes.size())))
      movie_problem_ = QString::fromStdString(*problem);
  }
  if (!movie_problem_.isEmpty()) {
    playing_ = false;
    RunLater("qm.unload()");
    ReportFailure(Failure::kMovieFailed, movie_problem_);
    return;
  }
  FlashScheme::MarkMainMovie(file.absoluteFilePath());
  // Device text in every family: one font with Latin and CJK letters. Ruffle registers a
  // font under one of the names in its name table; which one depends on the table's
  // order, so all of them are listed (the first one registered wins).
  const QJsonArray font{"WenQuanYi Micro Hei", QString::fromUtf8("文泉驛微米黑"),
                        QString::fromUtf8("文泉驿微米黑")};
  QJsonObject options{
      {"url", FlashScheme::FileUrl(host_, file.absoluteFilePath())},
      {"base", FlashScheme::FileUrl(host_, file.absolutePath()) + "/"},
      {"allowScriptAccess", true},
      {"autoplay", "on"},
      {"splashScreen", false},
      {"contextMenu", "off"},
      {"unmuteOverlay", "hidden"},
      {"letterbox", "off"},
      {"warnOnUnsupportedContent", false},
      {"showSwfDownload", false},
      {"quality", "high"},
      {"wmode", "window"},
      {"maxExecutionDuration", 3600},
      {"scale", scale_ == Scale::kShowAll ? "showAll" : "noScale"},
      {"salign", scale_ == Scale::kShowAll ? "" : "TL"},
      {"fontSources", QJsonArray{FlashScheme::FontUrl(host_)}},
      {"defaultFonts", QJsonObject{{"sans", font},
                                   {"serif", font},
                                   {"typewriter", font},
                                   {"japaneseGothic", font},
                                   {"japaneseGothicMono", font},
                                   {"japaneseMincho", font}}},
      {"preferredRenderer", "canvas"},
      {"logLevel", player_warnings_logged ? "warn" : "error"},
  };
  const QJsonObject host{{"sound", !soundless_}};
  RunLater("qm.load(" + Literal(options) + ", " + Literal(host) + ")");
}

}  // namespace qm::qt
