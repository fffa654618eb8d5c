// The window system's message loop on Qt's event loop, for running the sound devices
// against the real sound card outside the desktop window: timers are QTimers, posted
// messages are queued calls, the clock is a monotonic QElapsedTimer. There is no main
// window here: dragging and window states do nothing and a modal form closes at once.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <memory>

#include "platform/window_system.h"

namespace qm::testing {

class QtLoop : public IWindowSystem {
 public:
  QtLoop() { clock_.start(); }

  std::unique_ptr<ITimer> CreateTimer(int interval_ms, bool enabled,
                                      std::function<void()> on_timer) override {
    auto timer = std::make_unique<Timer>(std::move(on_timer));
    timer->SetInterval(interval_ms);
    timer->SetEnabled(enabled);
    return timer;
  }
  void Post(std::function<void()> message) override {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(message),
                              Qt::QueuedConnection);
  }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  std::int64_t TickCount() override { return clock_.elapsed(); }
  void Terminate() override { terminated_ = true; }
  bool Terminated() const override { return terminated_; }
  void DragMainWindow() override {}
  void SetMainWindowState(WindowState) override {}
  int ShowModal(IModalForm&) override { return 2; }
  void SetMessageHook(MessageHook) override {}

  // Runs the event loop until `done` holds or `limit_ms` have passed; whether it held.
  static bool RunUntil(const std::function<bool()>& done, int limit_ms) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < limit_ms) {
      QEventLoop loop;
      QTimer::singleShot(1, &loop, &QEventLoop::quit);
      loop.exec();
    }
    return done();
  }
  // Runs the event loop for `ms`.
  static void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  }

 private:
  class Timer : public ITimer {
   public:
    explicit Timer(std::function<void()> on_timer) {
      QObject::connect(&timer_, &QTimer::timeout, std::move(on_timer));
    }
    void SetEnabled(bool enabled) override {
      if (enabled) {
        timer_.start();
      } else {
        timer_.stop();
      }
    }
    bool Enabled() const override { return timer_.isActive(); }
    void SetInterval(int ms) override { timer_.setInterval(ms); }
    int Interval() const override { return timer_.interval(); }

   private:
    QTimer timer_;
  };

  QElapsedTimer clock_;
  bool terminated_ = false;
};

}  // namespace qm::testing
