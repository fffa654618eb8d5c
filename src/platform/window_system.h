// The window system: timers, posted messages, message pumping, the terminate
// request, the main window's drag and states, and the application's message hook.
// Everything runs on the one GUI thread; only Post may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qm {

class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
};

// The messages the application hook looks at.
struct WindowMessage {
  static constexpr unsigned kRButtonDown = 0x0204;
  static constexpr unsigned kRButtonUp = 0x0205;
  unsigned message = 0;
  const void* window = nullptr;  // the window the message is for
};

enum class WindowState { kNormal, kMinimized, kMaximized };

// A window of the shell that can be shown modally (the resource dialogs).
class IModalForm {
 public:
  virtual ~IModalForm() = default;
  virtual std::string FormName() const = 0;
  // What the window is about to show, as name and value (ANSI), for reports.
  virtual std::vector<std::pair<std::string, std::string>> Describe() const = 0;
};

class IWindowSystem {
 public:
  using MessageHook = std::function<bool(const WindowMessage&)>;  // true: handled, dropped

  virtual ~IWindowSystem() = default;

  // A window timer: `on_timer` runs on the GUI thread every `interval_ms` while enabled.
  virtual std::unique_ptr<ITimer> CreateTimer(int interval_ms, bool enabled,
                                              std::function<void()> on_timer) = 0;
  // Queues `message` to run on the GUI thread from the message loop. Safe from any
  // thread (the system's media devices report from threads of their own).
  virtual void Post(std::function<void()> message) = 0;
  // Handles the messages waiting in the queue, then returns.
  virtual void ProcessMessages() = 0;
  // Milliseconds of a monotonic clock.
  virtual std::int64_t TickCount() = 0;
  // Asks the message loop to end after the current message.
  virtual void Terminate() = 0;
  virtual bool Terminated() const = 0;

  // Releases the mouse capture and moves the main window with the mouse until the
  // button is released; returns then.
  virtual void DragMainWindow() = 0;
  virtual void SetMainWindowState(WindowState state) = 0;
  // Shows `form` modally; returns when it has closed, with its modal result.
  virtual int ShowModal(IModalForm& form) = 0;

  // The application-wide hook, called for every message taken from the queue before it
  // is dispatched (also inside the program's own modal loops).
  virtual void SetMessageHook(MessageHook hook) = 0;
};

}  // namespace qm
