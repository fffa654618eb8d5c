// The memory the web engine's own processes free goes back to the system while they run.
//
// glibc returns to the system only what lies free at the top of a heap. A renderer that
// has started Ruffle and a movie keeps tens of MB free among the blocks it still uses
// (36 of 61 MB in one settled renderer, spread over a dozen arenas), and nothing in the
// web engine asks glibc for them: Chromium's release on memory pressure only serves its
// own allocators. So when one of the process's threads is about to wait for work, and a
// while has passed since the last time, the free pages of every heap go back. The waits
// are the C library's epoll_wait and poll: the web engine's library and libevent call
// them, and the definitions here, in the process's executable, come before the C
// library's own.
#include "qt/web_engine_process.h"

#include <dlfcn.h>
#include <malloc.h>
#include <poll.h>
#include <sys/epoll.h>
#include <time.h>

#include <algorithm>
#include <atomic>

namespace qm::qt {

namespace {

// Monotonic seconds. The first wait gives back at once (a new renderer holds little).
std::atomic<long> g_next_return_s{0};
std::atomic<long> g_interval_s{kFirstReturnIntervalS};

long MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec);
}

template <typename Function>
Function CLibrary(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

bool ReturnFreedMemoryBeforeWaiting(int timeout_ms) {
  if (timeout_ms == 0) return false;  // a look at what is ready, not a wait
  const long now = MonotonicSeconds();
  long due = g_next_return_s.load(std::memory_order_relaxed);
  if (now < due) return false;
  // One thread gives back; the others wait as they would have.
  const long interval = g_interval_s.load(std::memory_order_relaxed);
  if (!g_next_return_s.compare_exchange_strong(due, now + interval)) return false;
  g_interval_s.store(std::min(interval * 2, kLongestReturnIntervalS), std::memory_order_relaxed);
  ::malloc_trim(0);
  return true;
}

}  // namespace qm::qt

extern "C" {

__attribute__((visibility("default"))) int epoll_wait(int epfd, struct epoll_event* events,
                                                      int max_events, int timeout_ms) {
  using EpollWait = int (*)(int, struct epoll_event*, int, int);
  static const EpollWait c_library = qm::qt::CLibrary<EpollWait>("epoll_wait");
  qm::qt::ReturnFreedMemoryBeforeWaiting(timeout_ms);
  return c_library(epfd, events, max_events, timeout_ms);
}

__attribute__((visibility("default"))) int poll(struct pollfd* fds, nfds_t count, int timeout_ms) {
  using Poll = int (*)(struct pollfd*, nfds_t, int);
  static const Poll c_library = qm::qt::CLibrary<Poll>("poll");
  qm::qt::ReturnFreedMemoryBeforeWaiting(timeout_ms);
  return c_library(fds, count, timeout_ms);
}

}  // extern "C"
