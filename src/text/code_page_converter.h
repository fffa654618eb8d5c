// The platform's side of a CodePage: converting the bytes of one code page.
//
// CodePage (codepage.h) does everything a code page has in common on every system:
// the ASCII stretches, UTF-8 under any of its names, unpaired surrogates, malformed
// UTF-8. It hands a converter only what needs the system's tables: text that is not
// plain ASCII in a code page that is not UTF-8, and well-formed UTF-16. Each platform
// defines OpenCodePageConverter once (src/posix with iconv, src/win32 with the
// MultiByteToWideChar family).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qm::text {

class CodePageConverter {
 public:
  virtual ~CodePageConverter() = default;

  // The code page's canonical name: CodePage::Name(), and a name that opens the same
  // code page again.
  virtual const std::string& Name() const = 0;

  // Appends the UTF-16 of `ansi` to `out`. A byte that starts no character, or
  // starts one the end of `ansi` cuts off, becomes U+FFFD and the reading goes on at
  // the next byte.
  virtual void ToUtf16(std::string_view ansi, std::u16string& out) const = 0;

  // Appends the code page's bytes for `utf16`, which holds no unpaired surrogate.
  // A character the code page lacks becomes one "?" (CodePage::kDefaultChar), a
  // surrogate pair being one character.
  virtual void FromUtf16(std::u16string_view utf16, std::string& out) const = 0;

  // Length in bytes of the character at the start of `rest` (not empty); 1 when
  // those bytes form no complete character.
  virtual std::size_t CharLength(std::string_view rest) const = 0;

  // Every member is safe to call from several threads at once.
};

// Opens the code page `name`; the empty name means the system's own. Throws
// std::runtime_error "Unknown character set \"NAME\": REASON" when the system has no
// such code page. Whether it is fit for the shell (ASCII-compatible) is CodePage's
// check, not the converter's.
std::unique_ptr<CodePageConverter> OpenCodePageConverter(std::string_view name);

}  // namespace qm::text
