// The code page on Windows: the system's own conversions (MultiByteToWideChar and
// WideCharToMultiByte), with the same results as everywhere else where a text holds
// bytes that form no character or characters the code page lacks. A name is a Windows
// code page ("CP936", "936", "windows-1252"), "UTF-8", or one of the common character set
// names of the same pages; the empty name is the system's ANSI code page (GetACP).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "text/codepage.h"
#include "win32/windows_api.h"

namespace qm::text {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The Windows code page of a character set name; 0 when there is none.
UINT CodePageNumber(std::string_view name) {
  const std::string upper = Upper(name);
  static constexpr std::pair<std::string_view, UINT> kAliases[] = {
      {"UTF-8", CP_UTF8}, {"UTF8", CP_UTF8},  {"GBK", 936},        {"GB2312", 936},
      {"GB18030", 54936}, {"SHIFT_JIS", 932}, {"SHIFT-JIS", 932},  {"SJIS", 932},
      {"BIG5", 950},      {"EUC-KR", 949},    {"US-ASCII", 20127}, {"ASCII", 20127},
      {"KOI8-R", 20866},  {"KOI8-U", 21866},  {"EUC-JP", 20932},
  };
  for (const auto& [alias, number] : kAliases) {
    if (upper == alias) return number;
  }
  if (upper.rfind("ISO-8859-", 0) == 0 && AllDigits(upper.substr(9))) {
    return 28590 + static_cast<UINT>(std::stoul(upper.substr(9)));
  }
  for (const std::string_view prefix : {"CP", "WINDOWS-", "IBM", "MS", ""}) {
    if (upper.rfind(prefix, 0) == 0 && AllDigits(std::string_view(upper).substr(prefix.size()))) {
      return static_cast<UINT>(std::stoul(upper.substr(prefix.size())));
    }
  }
  return 0;
}

std::size_t AsciiPrefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

std::size_t AsciiPrefix(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] < 0x80) ++i;
  return i;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Appends `bytes` converted from `code_page`; false (and nothing appended) when a byte
// forms no character.
bool Decode(UINT code_page, std::string_view bytes, std::u16string& out) {
  if (bytes.empty()) return true;
  const int size = static_cast<int>(bytes.size());
  const int needed =
      ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (needed <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(needed));
  ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size,
                        reinterpret_cast<wchar_t*>(out.data() + at), needed);
  return true;
}

// The length a UTF-8 sequence announces by its first byte; 0 for a byte that starts none.
std::size_t Utf8Announced(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Length of the well-formed UTF-8 sequence at the start of `rest`; 0 when its first byte
// starts none (overlong forms, encoded surrogates and values above U+10FFFF included:
// the system's strict conversion refuses them).
std::size_t Utf8Length(std::string_view rest) {
  const std::size_t length = Utf8Announced(static_cast<unsigned char>(rest[0]));
  if (length <= 1) return length;
  if (rest.size() < length) return 0;
  std::u16string ignored;
  return Decode(CP_UTF8, rest.substr(0, length), ignored) ? length : 0;
}

// UTF-8 -> UTF-16, each byte that starts no well-formed sequence giving `bad`.
std::u16string DecodeUtf8(std::string_view utf8, char16_t bad) {
  std::u16string out;
  if (Decode(CP_UTF8, utf8, out)) return out;
  while (!utf8.empty()) {
    const std::size_t length = Utf8Length(utf8);
    if (length == 0) {
      out += bad;
      utf8.remove_prefix(1);
    } else {
      Decode(CP_UTF8, utf8.substr(0, length), out);
      utf8.remove_prefix(length);
    }
  }
  return out;
}

// Appends well-formed UTF-16 converted to `code_page`: false when a character was
// missing from it (then written as the default character, or by the system's own
// choice).
bool Encode(UINT code_page, std::u16string_view utf16, std::string& out) {
  if (utf16.empty()) return true;
  const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
  const int size = static_cast<int>(utf16.size());
  const bool utf8 = code_page == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char default_char = CodePage::kDefaultChar;
  BOOL used_default = FALSE;
  int needed =
      ::WideCharToMultiByte(code_page, flags, wide, size, nullptr, 0,
                            utf8 ? nullptr : &default_char, utf8 ? nullptr : &used_default);
  if (needed <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;  // pages that take no flags at all
    needed = ::WideCharToMultiByte(code_page, flags, wide, size, nullptr, 0, &default_char,
                                   &used_default);
  }
  if (needed <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(needed));
  ::WideCharToMultiByte(code_page, flags, wide, size, out.data() + at, needed,
                        utf8 ? nullptr : &default_char, utf8 ? nullptr : &used_default);
  return !used_default;
}

// Appends UTF-16 without unpaired surrogates: one default character for each character
// the code page lacks, a surrogate pair being one.
void EncodeStretch(UINT code_page, std::u16string_view utf16, std::string& out) {
  const std::size_t start = out.size();
  if (Encode(code_page, utf16, out)) return;
  out.resize(start);
  for (std::size_t i = 0; i < utf16.size();) {
    const std::size_t units = IsHighSurrogate(utf16[i]) ? 2 : 1;
    const std::size_t at = out.size();
    if (!Encode(code_page, utf16.substr(i, units), out)) {
      out.resize(at);
      out += CodePage::kDefaultChar;
    }
    i += units;
  }
}

}  // namespace

struct CodePage::Converters {
  UINT code_page = 0;
};

CodePage::CodePage(std::string_view name) : conv_(std::make_unique<Converters>()) {
  if (name.empty()) {
    conv_->code_page = ::GetACP();
    name_ = conv_->code_page == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(conv_->code_page);
  } else {
    name_ = std::string(name);
    conv_->code_page = CodePageNumber(name);
  }
  if (conv_->code_page == 0 || !::IsValidCodePage(conv_->code_page)) {
    throw std::runtime_error("Unknown character set \"" + name_ + "\"");
  }
  utf8_ = conv_->code_page == CP_UTF8;

  // Both directions must map 00..7F to themselves.
  std::string ascii(128, '\0');
  std::u16string ascii16(128, u'\0');
  for (int c = 0; c < 128; ++c) {
    ascii[c] = static_cast<char>(c);
    ascii16[c] = static_cast<char16_t>(c);
  }
  std::u16string wide;
  std::string narrow;
  if (!Decode(conv_->code_page, ascii, wide) || wide != ascii16 ||
      !Encode(conv_->code_page, ascii16, narrow) || narrow != ascii) {
    throw std::runtime_error("Character set \"" + name_ + "\" is not ASCII-compatible");
  }
}

CodePage::~CodePage() = default;

std::u16string CodePage::ToUtf16(std::string_view ansi) const {
  const std::size_t ascii = AsciiPrefix(ansi);
  std::u16string out(ansi.begin(), ansi.begin() + static_cast<std::ptrdiff_t>(ascii));
  ansi.remove_prefix(ascii);
  if (utf8_) return out + DecodeUtf8(ansi, kReplacement);
  if (Decode(conv_->code_page, ansi, out)) return out;
  while (!ansi.empty()) {
    // A byte that does not start a character, or the start of one cut off by the end
    // of the text: U+FFFD for it, and on with the next.
    const std::size_t length = CharLength(ansi);
    if (!Decode(conv_->code_page, ansi.substr(0, length), out)) out += kReplacement;
    ansi.remove_prefix(length);
  }
  return out;
}

std::string CodePage::FromUtf16(std::u16string_view utf16) const {
  const std::size_t ascii = AsciiPrefix(utf16);
  std::string out(utf16.begin(), utf16.begin() + static_cast<std::ptrdiff_t>(ascii));
  std::size_t i = ascii;
  while (i < utf16.size()) {
    // The longest stretch without unpaired surrogates is converted in one call.
    std::size_t end = i;
    while (end < utf16.size()) {
      const char16_t unit = utf16[end];
      if (IsHighSurrogate(unit) && end + 1 < utf16.size() && IsLowSurrogate(utf16[end + 1])) {
        end += 2;
      } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
        break;
      } else {
        ++end;
      }
    }
    EncodeStretch(conv_->code_page, utf16.substr(i, end - i), out);
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
  std::string out;
  Encode(CP_UTF8, ToUtf16(ansi), out);  // well-formed: U+FFFD stands for every bad byte
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  const std::size_t ascii = AsciiPrefix(utf8);
  if (ascii == utf8.size()) return std::string(utf8);
  // "?" is the same byte in every page the class accepts.
  return FromUtf16(DecodeUtf8(utf8, static_cast<char16_t>(kDefaultChar)));
}

// Length of the character at the start of `rest` (not empty); 1 for a byte that
// starts none.
std::size_t CodePage::CharLength(std::string_view rest) const {
  if (static_cast<unsigned char>(rest[0]) < 0x80) return 1;
  if (utf8_) {
    const std::size_t length = Utf8Length(rest);
    return length == 0 ? 1 : length;
  }
  // The shortest start that forms exactly one character.
  const std::size_t limit = rest.size() < 4 ? rest.size() : 4;
  for (std::size_t take = 1; take <= limit; ++take) {
    std::u16string one;
    if (!Decode(conv_->code_page, rest.substr(0, take), one)) continue;
    if (one.size() == 1 || (one.size() == 2 && IsHighSurrogate(one[0]))) return take;
    break;
  }
  return 1;
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

}  // namespace qm::text
