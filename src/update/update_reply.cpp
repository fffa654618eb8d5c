#include "update/update_reply.h"

#include <vector>

#include "text/codepage.h"

namespace qm::update {

namespace {

// The characters of a text: where each starts, with the end of the text after the last.
class Chars {
 public:
  Chars(std::string_view text, const text::CodePage& code_page)
      : text_(text), starts_(code_page.CharStarts(text)) {
    starts_.push_back(text.size());
  }
  std::size_t Count() const { return starts_.size() - 1; }
  // The code of character `i` when it is a single byte; 256 for a longer character;
  // 0 past the end.
  int Code(std::size_t i) const {
    if (i >= Count()) return 0;
    if (starts_[i + 1] - starts_[i] != 1) return 256;
    return static_cast<unsigned char>(text_[starts_[i]]);
  }
  // Characters [from, to) as bytes.
  std::string_view Slice(std::size_t from, std::size_t to) const {
    from = std::min(from, Count());
    to = std::min(to, Count());
    if (to <= from) return {};
    return text_.substr(starts_[from], starts_[to] - starts_[from]);
  }

 private:
  std::string_view text_;
  std::vector<std::size_t> starts_;
};

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
  std::size_t from = 2;  // without a marker: from the third character on
  for (std::size_t i = 0; i + 2 < chars.Count(); ++i) {
    if (chars.Code(i) == '@' && chars.Code(i + 1) == '@' && chars.Code(i + 2) == '@') {
      from = i + 3;
      break;
    }
  }
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
