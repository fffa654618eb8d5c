#include "posix/posix_process.h"

#include <unistd.h>

namespace qm {

bool PosixProcess::Terminate(unsigned exit_code) {
  _exit(static_cast<int>(exit_code & 0xFFu));
}

}  // namespace qm
