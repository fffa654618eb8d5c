#include "text/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace qm::text {

// Every character set the shell accepts is ASCII-compatible: bytes 00..7F stand for
// U+0000..U+007F wherever a character starts, and no multi-byte character contains a
// byte below 80 in its first position. The constructor checks the first half of that
// and refuses other character sets, so texts made only of such bytes (almost all of
// them) are converted here without iconv. Trail bytes of double-byte characters may
// still fall in 40..7E, so a byte below 80 is taken as a character of its own only at
// the start of the text or right after a complete character.

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
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

void Reset(iconv_t cd) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

// Runs `cd` over the `left` bytes at `src`, appending the output to `out` (a
// std::string or std::u16string). Returns 0 when all input was converted, otherwise
// the errno of the stop, with `src` and `left` describing the input not converted.
template <class Str>
int Convert(iconv_t cd, const char*& src, std::size_t& left, Str& out) {
  using Unit = typename Str::value_type;
  std::size_t used = out.size();
  int error = 0;
  while (left > 0) {
    const std::size_t room = left + 16;  // in units; a character always fits
    out.resize(used + room);
    char* const start = reinterpret_cast<char*>(out.data() + used);
    char* dst = start;
    std::size_t dst_left = room * sizeof(Unit);
    char* in = const_cast<char*>(src);  // iconv does not write through it
    const std::size_t result = iconv(cd, &in, &left, &dst, &dst_left);
    error = result == static_cast<std::size_t>(-1) ? errno : 0;
    src = in;
    used += static_cast<std::size_t>(dst - start) / sizeof(Unit);
    if (error != E2BIG) break;
    error = 0;
  }
  out.resize(used);
  return error;
}

std::once_flag g_locale_once;

std::string LocaleCharset() {
  std::call_once(g_locale_once, [] {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    if (current == nullptr || std::strcmp(current, "C") == 0 ||
        std::strcmp(current, "POSIX") == 0) {
      std::setlocale(LC_CTYPE, "");
    }
  });
  const char* codeset = nl_langinfo(CODESET);
  const std::string_view name = codeset != nullptr ? codeset : "";
  if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "646") {
    return "UTF-8";
  }
  return std::string(name);
}

}  // namespace

struct CodePage::Converters {
  std::mutex mutex;  // guards the descriptors and their shift state
  iconv_t to_utf16 = kNoConverter;
  iconv_t from_utf16 = kNoConverter;
  iconv_t to_utf8 = kNoConverter;
  iconv_t from_utf8 = kNoConverter;

  ~Converters() {
    for (iconv_t cd : {to_utf16, from_utf16, to_utf8, from_utf8}) {
      if (cd != kNoConverter) iconv_close(cd);
    }
  }
};

CodePage::CodePage(std::string_view name)
    : name_(name.empty() ? LocaleCharset() : std::string(name)),
      conv_(std::make_unique<Converters>()) {
  const auto open = [this](const char* to, const char* from) {
    const iconv_t cd = iconv_open(to, from);
    if (cd == kNoConverter) {
      throw std::runtime_error("Unknown character set \"" + name_ + "\": " + std::strerror(errno));
    }
    return cd;
  };
  conv_->to_utf16 = open(kUtf16, name_.c_str());
  conv_->from_utf16 = open(name_.c_str(), kUtf16);
  conv_->to_utf8 = open("UTF-8", name_.c_str());
  conv_->from_utf8 = open(name_.c_str(), "UTF-8");

  // Both directions must map 00..7F to themselves.
  std::string ascii(128, '\0');
  std::u16string ascii16(128, u'\0');
  for (int c = 0; c < 128; ++c) {
    ascii[c] = static_cast<char>(c);
    ascii16[c] = static_cast<char16_t>(c);
  }
  std::u16string wide;
  const char* src = ascii.data();
  std::size_t left = ascii.size();
  const int to_error = Convert(conv_->to_utf16, src, left, wide);
  std::string narrow;
  src = reinterpret_cast<const char*>(ascii16.data());
  left = ascii16.size() * sizeof(char16_t);
  const int from_error = Convert(conv_->from_utf16, src, left, narrow);
  if (to_error != 0 || from_error != 0 || wide != ascii16 || narrow != ascii) {
    throw std::runtime_error("Character set \"" + name_ + "\" is not ASCII-compatible");
  }

  // UTF-8 under any of its names: encoding a few characters from every range gives
  // exactly their UTF-8 bytes.
  const std::u16string probe = u"\u00E9\u4E2D\U0001F600";
  std::string encoded;
  src = reinterpret_cast<const char*>(probe.data());
  left = probe.size() * sizeof(char16_t);
  utf8_ = Convert(conv_->from_utf16, src, left, encoded) == 0 &&
          encoded == "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  Reset(conv_->from_utf16);
}

CodePage::~CodePage() = default;

std::u16string CodePage::ToUtf16(std::string_view ansi) const {
  const std::size_t ascii = AsciiPrefix(ansi);
  std::u16string out(ansi.begin(), ansi.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == ansi.size()) return out;
  ansi.remove_prefix(ascii);
  if (utf8_) {
    AppendUtf8AsUtf16(ansi, out);
    return out;
  }
  std::lock_guard lock(conv_->mutex);
  Reset(conv_->to_utf16);
  const char* src = ansi.data();
  std::size_t left = ansi.size();
  while (Convert(conv_->to_utf16, src, left, out) != 0) {
    // A byte that does not start a character (EILSEQ), or the start of a character
    // cut off by the end of the text (EINVAL): U+FFFD for it, and on with the next.
    out += kReplacement;
    ++src;
    --left;
    Reset(conv_->to_utf16);
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
  std::lock_guard lock(conv_->mutex);
  Reset(conv_->from_utf16);
  std::size_t i = 0;
  while (i < utf16.size()) {
    // The longest stretch without unpaired surrogates goes to iconv in one call.
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
    const char* const base = reinterpret_cast<const char*>(utf16.data());
    const char* src = base + i * sizeof(char16_t);
    std::size_t left = (end - i) * sizeof(char16_t);
    while (Convert(conv_->from_utf16, src, left, out) != 0) {
      // A character the code page does not have: one "?" for it, pair or not.
      const std::size_t at = static_cast<std::size_t>(src - base) / sizeof(char16_t);
      const std::size_t units = IsHighSurrogate(utf16[at]) ? 2 : 1;
      out += kDefaultChar;
      src += units * sizeof(char16_t);
      left -= units * sizeof(char16_t);
      Reset(conv_->from_utf16);
    }
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
  std::lock_guard lock(conv_->mutex);
  Reset(conv_->to_utf8);
  const char* src = ansi.data();
  std::size_t left = ansi.size();
  while (Convert(conv_->to_utf8, src, left, out) != 0) {
    out += kReplacementUtf8;
    ++src;
    --left;
    Reset(conv_->to_utf8);
  }
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  const std::size_t ascii = AsciiPrefix(utf8);
  if (ascii == utf8.size()) return std::string(utf8);
  if (utf8_) return RepairUtf8(utf8, std::string_view(&kDefaultChar, 1));
  std::string out(utf8.substr(0, ascii));
  utf8.remove_prefix(ascii);
  std::lock_guard lock(conv_->mutex);
  Reset(conv_->from_utf8);
  std::size_t i = 0;
  while (i < utf8.size()) {
    // The well-formed stretch goes to iconv; iconv's idea of well-formed UTF-8 is
    // not relied on.
    std::size_t end = i;
    char32_t cp;
    while (end < utf8.size()) {
      const std::size_t length = Utf8Sequence(utf8.substr(end), cp);
      if (length == 0) break;
      end += length;
    }
    const char* src = utf8.data() + i;
    std::size_t left = end - i;
    while (Convert(conv_->from_utf8, src, left, out) != 0) {
      const std::size_t length = Utf8Sequence(std::string_view(src, left), cp);
      const std::size_t skip = length == 0 ? 1 : length;
      out += kDefaultChar;
      src += skip;
      left -= skip;
      Reset(conv_->from_utf8);
    }
    i = end;
    if (i < utf8.size()) {
      out += kDefaultChar;  // the malformed byte
      ++i;
    }
  }
  return out;
}

// Length of the character at the start of `rest` (not empty); 1 for a byte that
// starts none. Locks the converters when it needs iconv.
std::size_t CodePage::CharLength(std::string_view rest) const {
  if (static_cast<unsigned char>(rest[0]) < 0x80) return 1;
  if (utf8_) {
    char32_t cp;
    const std::size_t length = Utf8Sequence(rest, cp);
    return length == 0 ? 1 : length;
  }
  // Offer iconv one byte more each time while it says the character is incomplete.
  std::lock_guard lock(conv_->mutex);
  char16_t buffer[8];
  const std::size_t limit = rest.size() < 4 ? rest.size() : 4;
  for (std::size_t take = 1; take <= limit; ++take) {
    Reset(conv_->to_utf16);
    char* src = const_cast<char*>(rest.data());
    std::size_t left = take;
    char* dst = reinterpret_cast<char*>(buffer);
    std::size_t dst_left = sizeof(buffer);
    const std::size_t result = iconv(conv_->to_utf16, &src, &left, &dst, &dst_left);
    const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    if (left < take) return take - left;
    if (error != EINVAL) break;
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
