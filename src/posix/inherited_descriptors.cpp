#include "posix/inherited_descriptors.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qm {

namespace {

constexpr int kFirst = 3;  // after standard input, output and error
// Where the descriptor limit is unlimited or huge, the last fallback stops here.
constexpr int kLongestLoop = 1 << 16;

// close_range(2), from Linux 5.9: false where the kernel (or a container's filter) lacks it.
bool CloseRange(unsigned first, unsigned last) {
#if defined(SYS_close_range)
  return ::syscall(SYS_close_range, first, last, 0u) == 0;
#else
  (void)first;
  (void)last;
  return false;
#endif
}

}  // namespace

int DescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(kLongestLoop)) {
    return kLongestLoop;
  }
  return static_cast<int>(limit.rlim_cur);
}

void CloseInheritedDescriptors(int keep, int limit) {
  bool closed;
  if (keep < kFirst) {
    closed = CloseRange(kFirst, UINT_MAX);
  } else {
    const unsigned kept = static_cast<unsigned>(keep);
    closed = (kept == kFirst || CloseRange(kFirst, kept - 1)) && CloseRange(kept + 1, UINT_MAX);
  }
  if (!closed && !CloseListedDescriptors(keep)) CloseDescriptorsBelow(keep, limit);
}

bool CloseListedDescriptors(int keep) {
  const int dir = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  // The entries of /proc/self/fd stand at their descriptor's number: closing one already
  // read moves none that follow.
  alignas(8) char buffer[4096];
  for (;;) {
    const long got = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      // struct linux_dirent64: d_ino (8 bytes), d_off (8), d_reclen (2), d_type (1), d_name.
      std::uint16_t length;
      std::memcpy(&length, buffer + at + 16, sizeof length);
      const char* name = buffer + at + 19;
      at += length;
      int fd = 0;
      bool number = *name != '\0';
      for (const char* c = name; *c != '\0' && number; ++c) {
        number = *c >= '0' && *c <= '9' && fd < INT_MAX / 10;
        fd = fd * 10 + (*c - '0');
      }
      if (number && fd >= kFirst && fd != keep && fd != dir) ::close(fd);
    }
  }
  ::close(dir);
  return true;
}

void CloseDescriptorsBelow(int keep, int limit) {
  for (int fd = kFirst; fd < limit; ++fd) {
    if (fd != keep) ::close(fd);
  }
}

void ResetInheritedSignals() {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &standard, nullptr);
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace qm
