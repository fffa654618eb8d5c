#include "posix/host_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

namespace {

bool IsFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::string FindDataFolder(std::string_view executable_dir, const char* override_folder) {
  if (override_folder != nullptr && *override_folder != '\0') {
    return ExcludeTrailingSeparator(override_folder);
  }
  const std::filesystem::path from(executable_dir);
  for (const char* relative : {"../share/quillmere", "../../share/quillmere", "share/quillmere"}) {
    const std::filesystem::path folder = (from / relative).lexically_normal();
    if (IsFile(folder / "ruffle" / "ruffle.js")) return ExcludeTrailingSeparator(folder.string());
  }
  return {};
}

const std::string& DataFolder() {
  static const std::string folder =
      FindDataFolder(AppDirOf(ExecutablePath()), std::getenv(kDataFolderVariable));
  return folder;
}

std::string FindStandalonePlayer(std::string_view executable_dir) {
  const std::filesystem::path player =
      (std::filesystem::path(executable_dir) / "../lib/quillmere/FlashPlayer").lexically_normal();
  return IsFile(player) && access(player.c_str(), X_OK) == 0 ? player.string() : std::string();
}

std::string FindWebEngineProcess(std::string_view data_folder) {
  if (data_folder.empty()) return {};
  const std::filesystem::path process =
      (std::filesystem::path(data_folder) / "../../lib/quillmere/QuillmereWebEngineProcess")
          .lexically_normal();
  return IsFile(process) && access(process.c_str(), X_OK) == 0 ? process.string() : std::string();
}

bool IsWindowsProgram(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

}  // namespace qm
