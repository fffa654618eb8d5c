// The main function of the web engine's own processes (its zygote and the renderers
// forked from it) for the programs that host Flash controls: the web engine's process
// main, with the memory a renderer frees given back while it runs, and an end with the
// program that started it.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace QtWebEngineCore {
int processMain(int argc, const char** argv);  // exported by the web engine's library
}

// A sandboxed process cannot read the time zone files: the web engine's library answers
// local time from what the browser process told it, for the C library's local-time
// functions that the process's executable routes there.
namespace sandbox {
struct tm* localtime_override(const time_t* timep);
struct tm* localtime64_override(const time_t* timep);
struct tm* localtime_r_override(const time_t* timep, struct tm* result);
struct tm* localtime64_r_override(const time_t* timep, struct tm* result);
}  // namespace sandbox

extern "C" {

__attribute__((visibility("default"))) struct tm* localtime(const time_t* timep) noexcept {
  return sandbox::localtime_override(timep);
}
__attribute__((visibility("default"))) struct tm* localtime64(const time_t* timep) noexcept {
  return sandbox::localtime64_override(timep);
}
__attribute__((visibility("default"))) struct tm* localtime_r(const time_t* timep,
                                                              struct tm* result) noexcept {
  return sandbox::localtime_r_override(timep, result);
}
__attribute__((visibility("default"))) struct tm* localtime64_r(const time_t* timep,
                                                                struct tm* result) noexcept {
  return sandbox::localtime64_r_override(timep, result);
}

}  // extern "C"

namespace {

// The kernel ends these processes when the thread that started them ends, so that a
// program gone without closing what it shares with them (killed, or after a program it
// started kept a copy of its sockets) leaves none of them running. The program starts
// the zygote (from its main thread), which forks the renderers. A sandboxed zygote is
// the first process of a PID namespace that holds its renderers, and its end ends them;
// an unsandboxed one (as root) leaves its renderers to themselves, so each process that
// one of ours forks ends with it too.
//
// A parent that goes just before the request has given the process another one already.
void EndWithParent() {
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(0);
}

pid_t g_forking = 0;  // the process that forks, as it sees itself

void RememberParent() {
  g_forking = ::getpid();
}

void EndWithParentAfterFork() {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != g_forking) ::_exit(0);
}

}  // namespace

int main(int argc, const char** argv) {
  EndWithParent();
  ::pthread_atfork(RememberParent, nullptr, EndWithParentAfterFork);
  // Two heaps for all the threads of a process (the renderers inherit it from the zygote)
  // instead of up to eight per core: what one thread frees, the others find again. With
  // the memory given back at the waits, a renderer playing the demo course held 211-223
  // MB against 237-243 MB, with the same first frame and the same CPU for a moving movie.
  // The environment's own setting wins.
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (std::getenv("MALLOC_ARENA_MAX") == nullptr &&
      (tunables == nullptr || std::strstr(tunables, "arena_max") == nullptr)) {
    ::mallopt(M_ARENA_MAX, 2);
  }
  // Chromium rewrites its argv for the process title; the application object keeps a
  // copy of its own.
  std::vector<std::string> copies(argv, argv + argc);
  std::vector<char*> copy;
  for (std::string& argument : copies) copy.push_back(argument.data());
  copy.push_back(nullptr);
  int copy_argc = argc;
  QCoreApplication application(copy_argc, copy.data());
  return QtWebEngineCore::processMain(argc, argv);
}
