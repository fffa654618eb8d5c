#include "win32/win32_shell.h"

#include "win32/windows_api.h"  // ahead of the shell's headers

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "text/codepage.h"
#include "win32/wide_text.h"

namespace qm {

namespace {

// A text for the call, or none for an empty one.
const wchar_t* OrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

// The full path of `path` (as it is when the system cannot make one).
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

}  // namespace

int Win32Shell::Execute(const ShellRequest& request) {
  const std::wstring verb = win32::WideOfAnsi(code_page_, request.verb);
  const std::wstring file = win32::WideOfAnsi(code_page_, request.file);
  const std::wstring params = win32::WideOfAnsi(code_page_, request.params);
  const std::wstring dir = win32::WideOfAnsi(code_page_, request.dir);
  const HINSTANCE result =
      ::ShellExecuteW(static_cast<HWND>(const_cast<void*>(request.owner)), OrNull(verb),
                      file.c_str(), OrNull(params), OrNull(dir), request.show);
  return static_cast<int>(reinterpret_cast<std::intptr_t>(result));
}

std::optional<std::string> Win32Shell::SpecialFolderPath(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
    return std::nullopt;
  }
  return win32::AnsiOfWide(code_page_, win32::WithoutTrailingSeparator(path));
}

int Win32Shell::FileOperation(const ShellFileOperation& operation) {
  // The shell takes its lists of paths as names one after the other, each ended by a
  // NUL, with one more NUL at the end.
  std::wstring from;
  for (const std::string& item : operation.from) {
    if (item.empty()) return kInvalidFiles;
    from += FullPath(win32::WithBackslashes(win32::WideOfAnsi(code_page_, item)));
    from += L'\0';
  }
  if (from.empty()) return kInvalidFiles;
  from += L'\0';
  std::wstring to;
  if (!operation.to.empty()) {
    to = FullPath(win32::WithBackslashes(win32::WideOfAnsi(code_page_, operation.to)));
    to += L'\0';
    to += L'\0';
  }

  SHFILEOPSTRUCTW request{};
  request.hwnd = static_cast<HWND>(const_cast<void*>(operation.owner));
  request.wFunc = operation.operation;
  request.pFrom = from.c_str();
  request.pTo = to.empty() ? nullptr : to.c_str();
  request.fFlags = static_cast<FILEOP_FLAGS>(operation.flags);
  const int result = ::SHFileOperationW(&request);
  if (result == 0 && request.fAnyOperationsAborted) return ERROR_CANCELLED;
  return result;
}

}  // namespace qm
