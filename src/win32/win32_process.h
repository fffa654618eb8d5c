// The running process on Windows.
#pragma once

#include "platform/process.h"

namespace qm {

class Win32Process : public IProcess {
 public:
  // GetExitCodeProcess of the process itself: STILL_ACTIVE (kStillActive) while it runs.
  unsigned ExitCode() override;
  // TerminateProcess of the process itself.
  bool Terminate(unsigned exit_code) override;
};

}  // namespace qm
