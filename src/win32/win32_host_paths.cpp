// The host paths of Windows: the module's own file name and the shell's special folders.
#include "win32/windows_api.h"  // ahead of the shell's headers

#include <shlobj.h>

#include <string>

#include "platform/host_paths.h"
#include "text/codepage.h"
#include "win32/wide_text.h"

namespace qm {

namespace {

// A special folder (CSIDL) in UTF-8 without a trailing separator; "" when the shell
// cannot name it.
std::string SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return win32::Utf8OfWide(win32::WithoutTrailingSeparator(path));
}

}  // namespace

std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    // A name that fills the buffer may have been cut short.
    if (length < path.size()) {
      path.resize(length);
      return win32::Utf8OfWide(path);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::string CommonAppDataFolder() {
  return SpecialFolder(CSIDL_COMMON_APPDATA);
}

std::string UserDataFolder() {
  return SpecialFolder(CSIDL_LOCAL_APPDATA);
}

bool IsExecutableFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::WideOfUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find_first_of("\\/", dot) != std::string::npos) {
    return false;
  }
  const std::string extension = text::LowerAscii(std::string_view(path).substr(dot));
  return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".cmd";
}

// Windows courses are played in place: a folder the learner cannot write stays so.
std::string LearnerFilesFolder(const std::string& /*course_folder*/, bool /*shared*/) {
  return {};
}

}  // namespace qm
