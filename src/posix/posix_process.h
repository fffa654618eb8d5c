// The running process on a POSIX system.
#pragma once

#include "platform/process.h"

namespace qm {

class PosixProcess : public IProcess {
 public:
  // A running process has no exit code yet: kStillActive.
  unsigned ExitCode() override { return kStillActive; }
  // Ends the process at once (_exit): no destructors, no atexit handlers, no flushing
  // of the program's own buffers. The exit status is the code's low 8 bits.
  bool Terminate(unsigned exit_code) override;
};

}  // namespace qm
