#include "platform/host_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace qm {

std::string ExecutablePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return path.string();
}

std::string AppDirOf(std::string_view executable_path) {
  return ExtractFilePath(executable_path);
}

std::string CommonAppDataFolder() {
  // The folder for state that all users share is /var/lib; ordinary users cannot write
  // there, so they keep their settings in their own data folder instead.
  if (access("/var/lib", W_OK) == 0) return "/var/lib";
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    return ExcludeTrailingSeparator(xdg);
  }
  if (const char* home = std::getenv("HOME"); home && *home == '/') {
    return ExcludeTrailingSeparator(home) + "/.local/share";
  }
  return {};
}

}  // namespace qm
