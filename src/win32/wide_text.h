// Text for the wide-character API: UTF-16 as wchar_t (two bytes on Windows), made from
// the shell's ANSI text through its code page or from native (UTF-8) paths.
#pragma once

#include <string>
#include <string_view>

#include "text/codepage.h"

namespace qm::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

inline std::wstring WideOf(std::u16string_view utf16) {
  return std::wstring(utf16.begin(), utf16.end());
}
inline std::u16string Utf16Of(std::wstring_view wide) {
  return std::u16string(wide.begin(), wide.end());
}

// ANSI text in `code_page`.
inline std::wstring WideOfAnsi(const text::CodePage& code_page, std::string_view ansi) {
  return WideOf(code_page.ToUtf16(ansi));
}
inline std::string AnsiOfWide(const text::CodePage& code_page, std::wstring_view wide) {
  return code_page.FromUtf16(Utf16Of(wide));
}

// Native paths and texts of the program itself (bytes that are not UTF-8 become U+FFFD).
std::wstring WideOfUtf8(std::string_view utf8);
std::string Utf8OfWide(std::wstring_view wide);

// A path for the file calls: "/" written as "\", which every call takes.
inline std::wstring WithBackslashes(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// The path without separators at its end, where that leaves more than a drive's root.
inline std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
         !(path.size() == 3 && path[1] == L':')) {
    path.pop_back();
  }
  return path;
}

}  // namespace qm::win32
