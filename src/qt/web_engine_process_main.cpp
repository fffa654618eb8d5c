// The main function of the web engine's own processes (its zygote and the renderers
// forked from it) for the programs that host Flash controls: the web engine's process
// main, with the memory a renderer frees given back while it runs.
#include <malloc.h>
#include <time.h>

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

int main(int argc, const char** argv) {
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
