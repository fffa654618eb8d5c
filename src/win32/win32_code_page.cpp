// Code pages through the system's own tables (MultiByteToWideChar and
// WideCharToMultiByte). The empty name is the ANSI code page of the system (GetACP).
//
// Names accepted, letters in any case:
//   CPnnn, WINDOWS-nnn, IBMnnn  code page nnn
//   UTF-8, UTF8                 65001
//   GBK, GB2312, EUC-CN         936   (GB2312 and EUC-CN are subsets of it)
//   BIG5, BIG-5                 950
//   SHIFT_JIS, SHIFT-JIS, SJIS  932
//   EUC-KR, UHC                 949   (EUC-KR is a subset of it)
//   TIS-620                     874
//   KOI8-R, KOI8-U              20866, 21866
//   ASCII, US-ASCII             20127
//   ISO-8859-n, ISO8859-n       28590 + n (n = 1 to 9, 13, 15), LATIN1 = 28591
// Only code pages of one- and two-byte characters are taken, and UTF-8: stateful
// ones (ISO-2022), GB18030 and the UTF-16 and UTF-32 pages are refused.
#include <windows.h>

#include <array>
#include <charconv>
#include <climits>
#include <stdexcept>
#include <utility>

#include "text/code_page_converter.h"
#include "text/codepage.h"

namespace qm::text {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';
constexpr char kDefaultChars[2] = {CodePage::kDefaultChar, '\0'};

struct NamedPage {
  std::string_view name;
  UINT page;
};

constexpr NamedPage kNamedPages[] = {
    {"utf-8", CP_UTF8},  {"utf8", CP_UTF8}, {"gbk", 936},      {"gb2312", 936},
    {"euc-cn", 936},     {"big5", 950},     {"big-5", 950},    {"shift_jis", 932},
    {"shift-jis", 932},  {"sjis", 932},     {"euc-kr", 949},   {"uhc", 949},
    {"tis-620", 874},    {"koi8-r", 20866}, {"koi8-u", 21866}, {"ascii", 20127},
    {"us-ascii", 20127}, {"latin1", 28591},
};

// The decimal number that is all of `digits` (1 to 5 digits), or 0.
UINT Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return 0;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  return value;
}

// The code page `name` stands for, or 0.
UINT PageOfName(std::string_view name) {
  const std::string lower = LowerAscii(name);
  const std::string_view n = lower;
  for (const NamedPage& named : kNamedPages) {
    if (n == named.name) return named.page;
  }
  for (const std::string_view prefix : {"cp", "windows-", "ibm"}) {
    if (n.starts_with(prefix)) return Number(n.substr(prefix.size()));
  }
  for (const std::string_view prefix : {"iso-8859-", "iso8859-"}) {
    if (n.starts_with(prefix)) {
      const UINT part = Number(n.substr(prefix.size()));
      if ((part >= 1 && part <= 9) || part == 13 || part == 15) return 28590 + part;
      return 0;
    }
  }
  return 0;
}

std::string SystemMessage(DWORD error) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? std::string(buffer, length) : "error " + std::to_string(error);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

[[noreturn]] void Unknown(std::string_view name, const std::string& reason) {
  throw std::runtime_error("Unknown character set \"" + std::string(name) + "\": " + reason);
}

class Win32CodePage final : public CodePageConverter {
 public:
  explicit Win32CodePage(std::string_view name)
      : page_(name.empty() ? GetACP() : PageOfName(name)) {
    if (page_ == 0) Unknown(name, "not a code page name");
    CPINFOEXW info{};
    if (!GetCPInfoExW(page_, 0, &info)) Unknown(name, SystemMessage(GetLastError()));
    if (page_ == CP_UTF8) {
      max_length_ = 4;
      name_ = "UTF-8";
    } else if (info.MaxCharSize <= 2) {
      max_length_ = info.MaxCharSize;
      name_ = "CP" + std::to_string(page_);
      for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead_[b] = true;
      }
    } else {
      Unknown(name,
              "code page " + std::to_string(page_) + " has characters of more than two bytes");
    }
  }

  const std::string& Name() const override { return name_; }

  void ToUtf16(std::string_view ansi, std::u16string& out) const override {
    if (ansi.size() <= INT_MAX && AppendWide(ansi, out)) return;
    // Some bytes form no character: the text character by character.
    while (!ansi.empty()) {
      const std::size_t length = ValidLength(ansi);
      if (length == 0 || !AppendWide(ansi.substr(0, length), out)) {
        out += kReplacement;
        ansi.remove_prefix(1);
      } else {
        ansi.remove_prefix(length);
      }
    }
  }

  void FromUtf16(std::u16string_view utf16, std::string& out) const override {
    if (utf16.size() <= INT_MAX / 4 && AppendNarrow(utf16, out)) return;
    // Some characters are not in the code page: "?" for each, a pair being one.
    for (std::size_t i = 0; i < utf16.size();) {
      const bool pair = utf16[i] >= 0xD800 && utf16[i] <= 0xDBFF && i + 1 < utf16.size();
      const std::size_t units = pair ? 2 : 1;
      if (!AppendNarrow(utf16.substr(i, units), out)) out += CodePage::kDefaultChar;
      i += units;
    }
  }

  std::size_t CharLength(std::string_view rest) const override {
    const std::size_t length = ValidLength(rest);
    return length == 0 ? 1 : length;
  }

 private:
  // Appends the UTF-16 of `ansi` when every byte of it is part of a character of the
  // code page; false, and `out` unchanged, otherwise.
  bool AppendWide(std::string_view ansi, std::u16string& out) const {
    if (ansi.empty()) return true;
    const int size = static_cast<int>(ansi.size());
    const int units =
        MultiByteToWideChar(page_, MB_ERR_INVALID_CHARS, ansi.data(), size, nullptr, 0);
    if (units <= 0) return false;
    const std::size_t used = out.size();
    out.resize(used + static_cast<std::size_t>(units));
    MultiByteToWideChar(page_, MB_ERR_INVALID_CHARS, ansi.data(), size,
                        reinterpret_cast<wchar_t*>(out.data() + used), units);
    return true;
  }

  // Appends the code page's bytes for `utf16` when the code page has every character
  // of it; false, and `out` unchanged, otherwise.
  bool AppendNarrow(std::u16string_view utf16, std::string& out) const {
    if (utf16.empty()) return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
    const int size = static_cast<int>(utf16.size());
    // UTF-8 takes no flags and no default character; its input here is well-formed.
    const bool utf8 = page_ == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* default_char = utf8 ? nullptr : kDefaultChars;
    BOOL used_default = FALSE;
    BOOL* used = utf8 ? nullptr : &used_default;
    const int bytes = WideCharToMultiByte(page_, flags, wide, size, nullptr, 0, default_char, used);
    if (bytes <= 0 || used_default) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(bytes));
    WideCharToMultiByte(page_, flags, wide, size, out.data() + start, bytes, default_char, used);
    return true;
  }

  // Length of the complete, valid character at the start of `rest`; 0 when its first
  // byte starts none.
  std::size_t ValidLength(std::string_view rest) const {
    const auto valid = [&](std::size_t length) {
      return MultiByteToWideChar(page_, MB_ERR_INVALID_CHARS, rest.data(), static_cast<int>(length),
                                 nullptr, 0) > 0;
    };
    if (max_length_ == 2 && lead_[static_cast<unsigned char>(rest[0])]) {
      return rest.size() >= 2 && valid(2) ? 2 : 0;
    }
    if (max_length_ <= 2) return valid(1) ? 1 : 0;
    for (std::size_t length = 1; length <= max_length_ && length <= rest.size(); ++length) {
      if (valid(length)) return length;
    }
    return 0;
  }

  UINT page_;
  std::size_t max_length_ = 1;
  std::array<bool, 256> lead_{};  // lead bytes of a double-byte code page
  std::string name_;
};

}  // namespace

std::unique_ptr<CodePageConverter> OpenCodePageConverter(std::string_view name) {
  return std::make_unique<Win32CodePage>(name);
}

}  // namespace qm::text
