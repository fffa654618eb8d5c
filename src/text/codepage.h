// The ANSI code page: the 8-bit text every part of the shell works in.
//
// The Flash control speaks UTF-16 and a few files are written as UTF-8; every
// conversion between those and the shell's 8-bit text goes through one CodePage.
// Characters the code page cannot hold become its default character "?".
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::text {

class CodePageConverter;

class CodePage {
 public:
  // `name` is a character set name the system knows ("CP936", "UTF-8", "CP1252",
  // ...): on Linux any name iconv knows; on Windows the names win32_code_page.cpp
  // lists, each standing for a Windows code page. The empty name selects the
  // system's own: on Linux the locale's character set, a plain-ASCII locale (C,
  // POSIX) being taken as UTF-8, as every current desktop does; on Windows the ANSI
  // code page (GetACP). Throws std::runtime_error for a name the system does not
  // know and for a character set that is not ASCII-compatible.
  explicit CodePage(std::string_view name = {});
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // The character set's canonical name, which opens the same page again: on Linux
  // the name as given to iconv (the locale's for the empty name); on Windows "CP"
  // and the code page's number, or "UTF-8".
  const std::string& Name() const { return name_; }
  bool IsUtf8() const { return utf8_; }
  static constexpr char kDefaultChar = '?';

  // ANSI -> UTF-16. Bytes that do not form a character become U+FFFD, one per byte.
  std::u16string ToUtf16(std::string_view ansi) const;
  // UTF-16 -> ANSI. Unmappable characters and unpaired surrogates become "?".
  std::string FromUtf16(std::u16string_view utf16) const;
  // ANSI -> UTF-8.
  std::string ToUtf8(std::string_view ansi) const;
  // UTF-8 -> ANSI (texts of the program itself, the driver's JSON). Invalid UTF-8
  // bytes and unmappable characters become "?".
  std::string FromUtf8(std::string_view utf8) const;

  // Byte offsets at which the characters of `ansi` start (a double-byte character
  // counts once; a byte that starts no valid character counts as one character).
  std::vector<std::size_t> CharStarts(std::string_view ansi) const;
  // Number of characters of the code page in `ansi`.
  std::size_t CharCount(std::string_view ansi) const;

 private:
  std::size_t CharLength(std::string_view rest) const;

  std::unique_ptr<CodePageConverter> conv_;
  std::string name_;
  bool utf8_ = false;
};

// The code page of the running shell. Set once at start (before any window exists);
// everything on the GUI thread converts through it.
CodePage& Ansi();
void SetAnsiCodePage(std::string_view name);

// Shorthand: a text of the program (UTF-8 in the sources) in the ANSI code page.
inline std::string A(std::string_view utf8) {
  return Ansi().FromUtf8(utf8);
}

// Lower-casing that changes only the letters A to Z.
std::string LowerAscii(std::string_view s);
char16_t LowerAscii(char16_t c);

// UTF-8 encoding of one UTF-16 code unit (surrogates included), one to three bytes.
std::string Utf8OfCodeUnit(char16_t unit);

// Plain UTF-8 <-> UTF-16 (no code page involved). Invalid input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace qm::text
