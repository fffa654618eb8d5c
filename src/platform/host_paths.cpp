#include "platform/host_paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/paths.h"

namespace qm {

std::string AppDirOf(std::string_view executable_path) {
  return ExtractFilePath(executable_path);
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
  for (const char* relative : {"../share/quillmere", "../../share/quillmere", "share/quillmere"}) {
    const std::filesystem::path folder = (FsPathOf(executable_dir) / relative).lexically_normal();
    if (IsFile(folder / "ruffle" / "ruffle.js")) return ExcludeTrailingSeparator(NativeOf(folder));
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
      (FsPathOf(executable_dir) / "../lib/quillmere/FlashPlayer").lexically_normal();
  return IsExecutableFile(NativeOf(player)) ? NativeOf(player) : std::string();
}

std::string FindWebEngineProcess(std::string_view data_folder) {
  if (data_folder.empty()) return {};
  const std::filesystem::path process =
      (FsPathOf(data_folder) / "../../lib/quillmere/QuillmereWebEngineProcess").lexically_normal();
  return IsExecutableFile(NativeOf(process)) ? NativeOf(process) : std::string();
}

bool IsWindowsProgram(const std::string& path) {
  std::ifstream in(FsPathOf(path), std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

}  // namespace qm
