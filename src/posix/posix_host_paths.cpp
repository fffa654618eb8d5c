// The host paths of a POSIX system: /proc for the running program, /var/lib and the XDG
// data folder for what the shell keeps.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/host_paths.h"
#include "platform/paths.h"

namespace qm {

std::string ExecutablePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return path.string();
}

std::string CommonAppDataFolder() {
  // The folder for state that all users share is /var/lib; ordinary users cannot write
  // there, so they keep their settings in their own data folder instead.
  if (access("/var/lib", W_OK) == 0) return "/var/lib";
  return UserDataFolder();
}

std::string UserDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    return ExcludeTrailingSeparator(xdg);
  }
  if (const char* home = std::getenv("HOME"); home && *home == '/') {
    return ExcludeTrailingSeparator(home) + "/.local/share";
  }
  return {};
}

bool IsExecutableFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0;
}

}  // namespace qm
