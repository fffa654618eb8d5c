#include "win32/win32_process.h"

#include "win32/windows_api.h"

namespace qm {

unsigned Win32Process::ExitCode() {
  DWORD code = 0;
  if (!::GetExitCodeProcess(::GetCurrentProcess(), &code)) return kStillActive;
  return code;
}

bool Win32Process::Terminate(unsigned exit_code) {
  return ::TerminateProcess(::GetCurrentProcess(), exit_code) != 0;
}

}  // namespace qm
