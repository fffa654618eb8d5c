#include "update/update_reply.h"

#include "text/chars.h"

namespace qm::update {

namespace {

using text::Chars;

bool IsSkipped(int code) {
  return code >= 1 && code <= 32;
}

}  // namespace

bool MeansNoUpgrade(std::string_view reply_text, const text::CodePage& code_page) {
  const Chars chars(reply_text, code_page);
  const std::size_t n = chars.Count();
  return chars.Slice(n < 5 ? 0 : n - 5, n) == kNoUpgradeMarker;
}

std::string DownloadPath(std::string_view reply_text, const text::CodePage& code_page) {
  const Chars chars(reply_text, code_page);
  const std::size_t marker = chars.Find("@@@");
  // Without a marker: from the third character on.
  const std::size_t from = marker == Chars::npos ? 2 : marker + 3;
  return std::string(chars.Slice(from, from + kMaxDownloadPathChars));
}

std::string LastUrlSegment(std::string_view address, const text::CodePage& code_page) {
  address = address.substr(0, address.find('\0'));
  const Chars chars(address, code_page);
  std::size_t i = 0;
  while (IsSkipped(chars.Code(i))) ++i;
  std::string last;
  while (chars.Code(i) != 0) {
    std::string part;
    if (chars.Code(i) == '"') {
      ++i;
      while (chars.Code(i) != 0) {
        if (chars.Code(i) == '"') {
          if (chars.Code(i + 1) != '"') {
            ++i;
            break;
          }
          ++i;  // two quotes stand for one
        }
        part += chars.Slice(i, i + 1);
        ++i;
      }
    } else {
      const std::size_t start = i;
      while (chars.Code(i) > 32 && chars.Code(i) != '/') ++i;
      part = chars.Slice(start, i);
    }
    last = std::move(part);
    while (IsSkipped(chars.Code(i))) ++i;
    if (chars.Code(i) == '/') {
      if (chars.Code(i + 1) == 0) last.clear();  // a final "/" adds an empty part
      do {
        ++i;
      } while (IsSkipped(chars.Code(i)));
    }
  }
  return last;
}

bool IsPlainFileName(std::string_view name, const text::CodePage& code_page) {
  if (name.empty() || name == "." || name == "..") return false;
  // By characters: in a double-byte code page a trail byte may be 0x5C.
  const Chars chars(name, code_page);
  for (std::size_t i = 0; i < chars.Count(); ++i) {
    const int code = chars.Code(i);
    if (code == '/' || code == '\\' || code == 0) return false;
  }
  return true;
}

}  // namespace qm::update
