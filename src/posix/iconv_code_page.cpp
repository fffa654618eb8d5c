// Code pages through iconv: any character set iconv knows, by iconv's names; the
// empty name is the locale's character set.
#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "text/code_page_converter.h"
#include "text/codepage.h"

namespace qm::text {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = u'\uFFFD';

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
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

// The locale's character set; a plain-ASCII locale (C, POSIX) is taken as UTF-8, as
// every current desktop does.
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

class IconvCodePage final : public CodePageConverter {
 public:
  explicit IconvCodePage(std::string_view name)
      : name_(name.empty() ? LocaleCharset() : std::string(name)) {
    to_utf16_ = Open(kUtf16, name_.c_str());
    from_utf16_ = iconv_open(name_.c_str(), kUtf16);
    if (from_utf16_ == kNoConverter) {
      const int error = errno;
      iconv_close(to_utf16_);
      errno = error;
      Fail();
    }
  }
  ~IconvCodePage() override {
    iconv_close(to_utf16_);
    iconv_close(from_utf16_);
  }
  IconvCodePage(const IconvCodePage&) = delete;
  IconvCodePage& operator=(const IconvCodePage&) = delete;

  const std::string& Name() const override { return name_; }

  void ToUtf16(std::string_view ansi, std::u16string& out) const override {
    std::lock_guard lock(mutex_);
    Reset(to_utf16_);
    const char* src = ansi.data();
    std::size_t left = ansi.size();
    while (Convert(to_utf16_, src, left, out) != 0) {
      // A byte that does not start a character (EILSEQ), or the start of a character
      // cut off by the end of the text (EINVAL): U+FFFD for it, and on with the next.
      out += kReplacement;
      ++src;
      --left;
      Reset(to_utf16_);
    }
  }

  void FromUtf16(std::u16string_view utf16, std::string& out) const override {
    std::lock_guard lock(mutex_);
    Reset(from_utf16_);
    const char* const base = reinterpret_cast<const char*>(utf16.data());
    const char* src = base;
    std::size_t left = utf16.size() * sizeof(char16_t);
    while (Convert(from_utf16_, src, left, out) != 0) {
      // A character the code page does not have: one "?" for it, pair or not.
      const std::size_t at = static_cast<std::size_t>(src - base) / sizeof(char16_t);
      const std::size_t units = IsHighSurrogate(utf16[at]) && at + 1 < utf16.size() ? 2 : 1;
      out += CodePage::kDefaultChar;
      src += units * sizeof(char16_t);
      left -= units * sizeof(char16_t);
      Reset(from_utf16_);
    }
  }

  std::size_t CharLength(std::string_view rest) const override {
    // Offer iconv one byte more each time while it says the character is incomplete.
    std::lock_guard lock(mutex_);
    char16_t buffer[8];
    const std::size_t limit = rest.size() < 4 ? rest.size() : 4;
    for (std::size_t take = 1; take <= limit; ++take) {
      Reset(to_utf16_);
      char* src = const_cast<char*>(rest.data());
      std::size_t left = take;
      char* dst = reinterpret_cast<char*>(buffer);
      std::size_t dst_left = sizeof(buffer);
      const std::size_t result = iconv(to_utf16_, &src, &left, &dst, &dst_left);
      const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
      if (left < take) return take - left;
      if (error != EINVAL) break;
    }
    return 1;
  }

 private:
  iconv_t Open(const char* to, const char* from) const {
    const iconv_t cd = iconv_open(to, from);
    if (cd == kNoConverter) Fail();
    return cd;
  }
  [[noreturn]] void Fail() const {
    throw std::runtime_error("Unknown character set \"" + name_ + "\": " + std::strerror(errno));
  }

  std::string name_;
  mutable std::mutex mutex_;  // guards the descriptors and their shift state
  iconv_t to_utf16_ = kNoConverter;
  iconv_t from_utf16_ = kNoConverter;
};

}  // namespace

std::unique_ptr<CodePageConverter> OpenCodePageConverter(std::string_view name) {
  return std::make_unique<IconvCodePage>(name);
}

}  // namespace qm::text
