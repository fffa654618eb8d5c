#include "qt/qt_window_system.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <memory>

#include "platform/errors.h"

namespace qm::qt {

// --- timers ----------------------------------------------------------------------------

// A window timer: it runs while enabled with a non-zero interval; enabling a running
// timer changes nothing, a new interval starts the count again.
class QtWindowSystem::Timer : public ITimer {
 public:
  Timer(QtWindowSystem& owner, int interval_ms, bool enabled, std::function<void()> on_timer)
      : timer_(new QTimer), interval_(interval_ms), enabled_(enabled) {
    // The handler stays alive while it runs, even if it destroys its own timer.
    auto handler = std::make_shared<std::function<void()>>(std::move(on_timer));
    // Once the program is told to end no timer runs any more: the loops end before the
    // next tick would be handled.
    QObject::connect(timer_, &QTimer::timeout, &owner, [&owner, handler] {
      if (!owner.terminated_) owner.boundary_.Run([&] { (*handler)(); });
    });
    Update();
  }
  ~Timer() override {
    timer_->stop();
    timer_->disconnect();
    timer_->deleteLater();  // it may be the sender of the signal being handled
  }

  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Update();
  }
  bool Enabled() const override { return enabled_; }
  void SetInterval(int ms) override {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
  }
  int Interval() const override { return interval_; }

 private:
  void Update() {
    timer_->stop();
    if (enabled_ && interval_ > 0) timer_->start(interval_);
  }

  QTimer* timer_;
  int interval_;
  bool enabled_;
};

// --- the drag --------------------------------------------------------------------------

// Runs until the left button is released. Where the window may place itself (X11) it
// follows the cursor itself: the press's implicit pointer grab brings every move and
// the release here, wherever the cursor goes. Elsewhere the platform moves it
// (startSystemMove) and this only waits for the release.
class QtWindowSystem::DragLoop : public QObject {
 public:
  DragLoop(QWidget& window, bool follow) : window_(window), follow_(follow) {
    start_cursor_ = QCursor::pos();
    start_window_ = window.pos();
  }

  void Run() {
    qApp->installEventFilter(this);
    QTimer poll;  // the release may have reached another loop before ours
    connect(&poll, &QTimer::timeout, &loop_, [this] {
      if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) loop_.quit();
    });
    poll.start(50);
    loop_.exec();
    qApp->removeEventFilter(this);
    // The release reaches the movie once its call (which runs this drag) has returned.
    if (release_ != nullptr && !release_target_.isNull()) {
      QCoreApplication::postEvent(release_target_, release_.release());
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!(move->buttons() & Qt::LeftButton)) {
          loop_.quit();
          return false;
        }
        if (follow_ && !window_.isMaximized()) {
          window_.move(start_window_ + (move->globalPosition().toPoint() - start_cursor_));
        }
        return true;  // the movie does not see the moves of a drag
      }
      case QEvent::MouseButtonRelease: {
        const auto* release = static_cast<QMouseEvent*>(event);
        if (release->button() != Qt::LeftButton) return false;
        loop_.quit();
        // The web engine drops a release that comes while the movie waits in its call
        // (the page then believes the button is still down, and the next click is
        // lost): the widget's release is held and sent again after the call.
        if (!watched->isWidgetType() || release_ != nullptr) return false;
        release_.reset(static_cast<QMouseEvent*>(release->clone()));
        release_target_ = watched;
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QWidget& window_;
  bool follow_;
  QPoint start_cursor_;
  QPoint start_window_;
  QEventLoop loop_;
  std::unique_ptr<QMouseEvent> release_;
  QPointer<QObject> release_target_;
};

// --- the window system ----------------------------------------------------------------

QtWindowSystem::QtWindowSystem(IDialogs& dialogs, std::string app_title)
    : boundary_(dialogs, std::move(app_title)) {}

QtWindowSystem::~QtWindowSystem() {
  if (filter_installed_ && qApp != nullptr) qApp->removeEventFilter(this);
}

std::unique_ptr<ITimer> QtWindowSystem::CreateTimer(int interval_ms, bool enabled,
                                                    std::function<void()> on_timer) {
  return std::make_unique<Timer>(*this, interval_ms, enabled, std::move(on_timer));
}

void QtWindowSystem::Post(std::function<void()> message) {
  QMetaObject::invokeMethod(
      this, [this, message = std::move(message)] { boundary_.Run([&] { message(); }); },
      Qt::QueuedConnection);
}

void QtWindowSystem::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::int64_t QtWindowSystem::TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void QtWindowSystem::Terminate() {
  terminated_ = true;
  QCoreApplication::exit(0);
}

void QtWindowSystem::DragMainWindow() {
  if (main_window_ == nullptr || !(QGuiApplication::mouseButtons() & Qt::LeftButton)) return;
  QWidget& window = *main_window_;
  bool follow = QGuiApplication::platformName() == QLatin1String("xcb");
  if (!follow) {
    QWindow* handle = window.windowHandle();
    follow = handle == nullptr || !handle->startSystemMove();
  }
  DragLoop(window, follow).Run();
}

void QtWindowSystem::SetMainWindowState(WindowState state) {
  if (main_window_ == nullptr) return;
  QWidget& window = *main_window_;
  const Qt::WindowStates now = window.windowState();
  switch (state) {
    case WindowState::kMinimized:
      window.setWindowState(now | Qt::WindowMinimized);
      break;
    case WindowState::kNormal:
      // Restore: a minimised window returns to what it was before, a maximised one to
      // its size and place from before.
      if (now & Qt::WindowMinimized) {
        window.setWindowState(now & ~Qt::WindowMinimized);
      } else {
        window.setWindowState(now & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
      }
      break;
    case WindowState::kMaximized:
      window.setWindowState((now & ~Qt::WindowMinimized) | Qt::WindowMaximized);
      break;
  }
  if (state != WindowState::kMinimized && !window.isVisible()) window.show();
}

void QtWindowSystem::SetModalWindow(const IModalForm& form, std::function<int()> show_modal) {
  modal_windows_[&form] = std::move(show_modal);
}

int QtWindowSystem::ShowModal(IModalForm& form) {
  const auto window = modal_windows_.find(&form);
  if (window == modal_windows_.end() || !window->second) {
    throw Exception("The window " + form.FormName() + " cannot be shown: it has not been created");
  }
  const std::function<int()> show_modal = window->second;  // may be replaced while it runs
  return show_modal();
}

void QtWindowSystem::SetMessageHook(MessageHook hook) {
  hook_ = std::move(hook);
  if (!filter_installed_ && qApp != nullptr) {
    qApp->installEventFilter(this);
    filter_installed_ = true;
  }
}

bool QtWindowSystem::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress || !hook_) return false;
  if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
  bool handled = false;
  const MessageHook hook = hook_;
  boundary_.Run([&] { handled = hook({WindowMessage::kRButtonDown, watched}); });
  return handled;
}

}  // namespace qm::qt
