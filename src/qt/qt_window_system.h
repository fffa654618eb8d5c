// The window system on Qt: window timers on QTimer, posted messages on the event queue,
// the terminate request, the main window's states and drag, the modal showing of the
// shell's registered windows, and the application-wide right-button hook.
//
// Everything that Qt calls back (a timer, a posted message, the hook, the modal window's
// loop) runs inside the error boundary: an error that leaves it is shown in the general
// error report and the program goes on.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/window_system.h"
#include "ui/error_report.h"

namespace qm {
class IDialogs;
}

namespace qm::qt {

class QtWindowSystem : public QObject, public IWindowSystem {
  Q_OBJECT
 public:
  // The general error report shows its messages with `dialogs` under `app_title`.
  QtWindowSystem(IDialogs& dialogs, std::string app_title);
  ~QtWindowSystem() override;

  std::unique_ptr<ITimer> CreateTimer(int interval_ms, bool enabled,
                                      std::function<void()> on_timer) override;
  void Post(std::function<void()> message) override;
  void ProcessMessages() override;
  std::int64_t TickCount() override;
  // Every message loop that is running ends once the current message has been handled
  // (modal loops first, then the main loop); a loop started later ends at once.
  void Terminate() override;
  bool Terminated() const override { return terminated_; }
  void DragMainWindow() override;
  void SetMainWindowState(WindowState state) override;
  // Runs the window registered for `form`; an unregistered one raises an Exception
  // that names the form.
  int ShowModal(IModalForm& form) override;
  void SetMessageHook(MessageHook hook) override;

  // The main window whose state and place the movie controls.
  void SetMainWindow(QWidget* window) { main_window_ = window; }
  // The window of `form`: `show_modal` shows it modally and returns its modal result.
  void SetModalWindow(const IModalForm& form, std::function<int()> show_modal);

  ErrorBoundary& Boundary() { return boundary_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Timer;
  class DragLoop;

  ErrorBoundary boundary_;
  QPointer<QWidget> main_window_;
  MessageHook hook_;
  std::map<const IModalForm*, std::function<int()>> modal_windows_;
  bool terminated_ = false;
  bool filter_installed_ = false;
};

}  // namespace qm::qt
