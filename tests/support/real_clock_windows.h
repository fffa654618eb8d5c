// The manual clock driven by real time: every pump moves it on by the time that has
// really passed, so that timers fire while a real network wait goes on. Counts pumps.
#pragma once

#include <chrono>

#include "headless/scripted_ports.h"

namespace qm::testing {

class RealClockWindows : public headless::ManualWindowSystem {
 public:
  using ManualWindowSystem::ManualWindowSystem;

  void ProcessMessages() override {
    ++pumps;
    const auto now = std::chrono::steady_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_);
    last_ += ms;
    Advance(ms.count());
  }

  int pumps = 0;

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace qm::testing
