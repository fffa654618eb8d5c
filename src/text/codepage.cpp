#include "text/codepage.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "text/code_page_converter.h"

namespace qm::text {

// Every character set the shell accepts is ASCII-compatible: bytes 00..7F stand for
// U+0000..U+007F wherever a character starts, and no multi-byte character contains a
// byte below 80 in its first position. The constructor checks the first half of that
// and refuses other character sets, so texts made only of such bytes (almost all of
// them) are converted here without the system's converter. Trail bytes of double-byte
// characters may still fall in 40..7E, so a byte below 80 is taken as a character of
// its own only at the start of the text or right after a complete character.

namespace {

constexpr char16_t kReplacement = u'\uFFFD';
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Number of leading bytes of `s` below 80.
std::size_t AsciiPrefix(std::string_view s) {
  const char* p = s.data();
  const std::size_t n = s.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
  return i;
}

std::size_t AsciiPrefix(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] < 0x80) ++i;
  return i;
}

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Length (1 to 4) of the well-formed UTF-8 sequence at the start of `s`, storing its
// scalar value in `cp`; 0 when the first byte starts no well-formed sequence
// (overlong forms, encoded surrogates and values above U+10FFFF included).
std::size_t Utf8Sequence(std::string_view s, char32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  std::size_t length;
  char32_t value;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char trail = byte(i);
    if (trail < low || trail > high) return 0;
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (trail & 0x3F);
  }
  cp = value;
  return length;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (cp >> 10));
    out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
  }
}

// UTF-8 -> UTF-16; each byte that starts no well-formed sequence gives U+FFFD.
void AppendUtf8AsUtf16(std::string_view s, std::u16string& out) {
  while (!s.empty()) {
    char32_t cp;
    const std::size_t length = Utf8Sequence(s, cp);
    if (length == 0) {
      out += kReplacement;
      s.remove_prefix(1);
    } else {
      AppendUtf16(cp, out);
      s.remove_prefix(length);
    }
  }
}

// Copies well-formed UTF-8 and puts `bad` in place of every other byte.
std::string RepairUtf8(std::string_view s, std::string_view bad) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    char32_t cp;
    const std::size_t length = Utf8Sequence(s, cp);
    if (length == 0) {
      out += bad;
      s.remove_prefix(1);
    } else {
      out.append(s.data(), length);
      s.remove_prefix(length);
    }
  }
  return out;
}

// UTF-16 -> UTF-8; unpaired surrogates give `bad`.
void AppendUtf16AsUtf8(std::u16string_view s, std::string_view bad, std::string& out) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t unit = s[i];
    if (!IsSurrogate(unit)) {
      AppendUtf8(unit, out);
    } else if (IsHighSurrogate(unit) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
      AppendUtf8(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (s[i + 1] - 0xDC00), out);
      ++i;
    } else {
      out += bad;
    }
  }
}

}  // namespace

CodePage::CodePage(std::string_view name) : conv_(OpenCodePageConverter(name)) {
  name_ = conv_->Name();

  // Both directions must map 00..7F to themselves.
  std::string ascii(128, '\0');
  std::u16string ascii16(128, u'\0');
  for (int c = 0; c < 128; ++c) {
    ascii[c] = static_cast<char>(c);
    ascii16[c] = static_cast<char16_t>(c);
  }
  std::u16string wide;
  conv_->ToUtf16(ascii, wide);
  std::string narrow;
  conv_->FromUtf16(ascii16, narrow);
  if (wide != ascii16 || narrow != ascii) {
    throw std::runtime_error("Character set \"" + name_ + "\" is not ASCII-compatible");
  }

  // UTF-8 under any of its names: encoding a few characters from every range gives
  // exactly their UTF-8 bytes.
  std::string encoded;
  conv_->FromUtf16(u"\u00E9\u4E2D\U0001F600", encoded);
  utf8_ = encoded == "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
}

CodePage::~CodePage() = default;

std::u16string CodePage::ToUtf16(std::string_view ansi) const {
  const std::size_t ascii = AsciiPrefix(ansi);
  std::u16string out(ansi.begin(), ansi.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == ansi.size()) return out;
  ansi.remove_prefix(ascii);
  if (utf8_) {
    AppendUtf8AsUtf16(ansi, out);
  } else {
    conv_->ToUtf16(ansi, out);
  }
  return out;
}

std::string CodePage::FromUtf16(std::u16string_view utf16) const {
  const std::size_t ascii = AsciiPrefix(utf16);
  std::string out(utf16.begin(), utf16.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == utf16.size()) return out;
  utf16.remove_prefix(ascii);
  if (utf8_) {
    AppendUtf16AsUtf8(utf16, std::string_view(&kDefaultChar, 1), out);
    return out;
  }
  std::size_t i = 0;
  while (i < utf16.size()) {
    // The longest stretch without unpaired surrogates goes to the converter at once.
    std::size_t end = i;
    while (end < utf16.size()) {
      const char16_t unit = utf16[end];
      if (!IsSurrogate(unit)) {
        ++end;
      } else if (IsHighSurrogate(unit) && end + 1 < utf16.size() &&
                 IsLowSurrogate(utf16[end + 1])) {
        end += 2;
      } else {
        break;
      }
    }
    conv_->FromUtf16(utf16.substr(i, end - i), out);
    i = end;
    if (i < utf16.size()) {
      out += kDefaultChar;  // the unpaired surrogate
      ++i;
    }
  }
  return out;
}

std::string CodePage::ToUtf8(std::string_view ansi) const {
  const std::size_t ascii = AsciiPrefix(ansi);
  if (ascii == ansi.size()) return std::string(ansi);
  if (utf8_) return RepairUtf8(ansi, kReplacementUtf8);
  std::string out(ansi.substr(0, ascii));
  ansi.remove_prefix(ascii);
  std::u16string wide;
  wide.reserve(ansi.size());
  conv_->ToUtf16(ansi, wide);
  AppendUtf16AsUtf8(wide, kReplacementUtf8, out);
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  const std::size_t ascii = AsciiPrefix(utf8);
  if (ascii == utf8.size()) return std::string(utf8);
  if (utf8_) return RepairUtf8(utf8, std::string_view(&kDefaultChar, 1));
  std::string out(utf8.substr(0, ascii));
  utf8.remove_prefix(ascii);
  std::size_t i = 0;
  std::u16string wide;
  while (i < utf8.size()) {
    // The well-formed stretch goes to the converter as UTF-16.
    std::size_t end = i;
    char32_t cp;
    while (end < utf8.size()) {
      const std::size_t length = Utf8Sequence(utf8.substr(end), cp);
      if (length == 0) break;
      end += length;
    }
    wide.clear();
    AppendUtf8AsUtf16(utf8.substr(i, end - i), wide);
    conv_->FromUtf16(wide, out);
    i = end;
    if (i < utf8.size()) {
      out += kDefaultChar;  // the malformed byte
      ++i;
    }
  }
  return out;
}

// Length of the character at the start of `rest` (not empty); 1 for a byte that
// starts none.
std::size_t CodePage::CharLength(std::string_view rest) const {
  if (static_cast<unsigned char>(rest[0]) < 0x80) return 1;
  if (utf8_) {
    char32_t cp;
    const std::size_t length = Utf8Sequence(rest, cp);
    return length == 0 ? 1 : length;
  }
  return conv_->CharLength(rest);
}

std::vector<std::size_t> CodePage::CharStarts(std::string_view ansi) const {
  std::vector<std::size_t> starts;
  starts.reserve(ansi.size());
  std::size_t i = 0;
  for (const std::size_t ascii = AsciiPrefix(ansi); i < ascii; ++i) starts.push_back(i);
  while (i < ansi.size()) {
    starts.push_back(i);
    i += CharLength(ansi.substr(i));
  }
  return starts;
}

std::size_t CodePage::CharCount(std::string_view ansi) const {
  std::size_t i = AsciiPrefix(ansi);
  std::size_t count = i;
  while (i < ansi.size()) {
    ++count;
    i += CharLength(ansi.substr(i));
  }
  return count;
}

namespace {

// The shell's code page. A replaced one is kept alive until exit, so a reference
// obtained before the change never dangles.
struct AnsiState {
  std::mutex mutex;
  std::vector<std::unique_ptr<CodePage>> pages;  // the current one last
  std::atomic<CodePage*> current{nullptr};
};

AnsiState& State() {
  static AnsiState state;
  return state;
}

}  // namespace

CodePage& Ansi() {
  AnsiState& state = State();
  if (CodePage* page = state.current.load(std::memory_order_acquire)) return *page;
  std::lock_guard lock(state.mutex);
  if (state.pages.empty()) {
    state.pages.push_back(std::make_unique<CodePage>());
    state.current.store(state.pages.back().get(), std::memory_order_release);
  }
  return *state.pages.back();
}

void SetAnsiCodePage(std::string_view name) {
  auto page = std::make_unique<CodePage>(name);  // throws before anything changes
  AnsiState& state = State();
  std::lock_guard lock(state.mutex);
  state.pages.push_back(std::move(page));
  state.current.store(state.pages.back().get(), std::memory_order_release);
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

char16_t LowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::string Utf8OfCodeUnit(char16_t unit) {
  std::string out;
  AppendUtf8(unit, out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  AppendUtf8AsUtf16(utf8, out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  AppendUtf16AsUtf8(utf16, kReplacementUtf8, out);
  return out;
}

}  // namespace qm::text
