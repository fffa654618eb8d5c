// The component that keeps the window responsive while an HTTP client waits on the
// network: the clients call it between their waits, and it pumps the GUI thread's
// message queue through the window system. One is shared by all clients of a window;
// their time-outs run on its window system's clock, as the window's timers do.
#pragma once

#include <cstdint>

#include "platform/window_system.h"

namespace qm::http {

class AntiFreeze {
 public:
  explicit AntiFreeze(IWindowSystem& windows) : windows_(windows) {}

  bool Active = true;
  // The longest a client waits for data before it pumps (ms).
  int IdleTimeOut = 250;
  // Pump only after waits that found nothing; off: also after every wait that found
  // data and after every send.
  bool OnlyWhenIdle = true;

  // Called by a client after a wait; `idle` when the wait ran out without anything
  // happening. Dispatches every pending message of the GUI thread when due.
  void DoProcess(bool idle) {
    if (Active && (idle || !OnlyWhenIdle)) windows_.ProcessMessages();
  }
  // The application has been asked to end: waits give up at their next pump.
  bool ApplicationTerminated() const { return windows_.Terminated(); }
  // Milliseconds of the window system's monotonic clock.
  std::int64_t TickCount() const { return windows_.TickCount(); }

 private:
  IWindowSystem& windows_;
};

}  // namespace qm::http
