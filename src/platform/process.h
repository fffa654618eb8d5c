// The running process itself.
#pragma once

namespace qm {

inline constexpr unsigned kStillActive = 259;

class IProcess {
 public:
  virtual ~IProcess() = default;
  // The process's exit code as the system reports it: kStillActive while it runs.
  virtual unsigned ExitCode() = 0;
  // Ends the process at once with `exit_code`: no close or shutdown handling runs.
  // Off Windows the exit status shows the code's low 8 bits (259 gives 3).
  virtual bool Terminate(unsigned exit_code) = 0;
};

}  // namespace qm
