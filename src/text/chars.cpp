#include "text/chars.h"

#include <algorithm>

namespace qm::text {

Chars::Chars(std::string_view text, const CodePage& code_page)
    : text_(text), starts_(code_page.CharStarts(text)) {
  starts_.push_back(text.size());
}

int Chars::Code(std::size_t i) const {
  if (i >= Count()) return 0;
  if (starts_[i + 1] - starts_[i] != 1) return kMultiByte;
  return static_cast<unsigned char>(text_[starts_[i]]);
}

std::string_view Chars::Slice(std::size_t from, std::size_t to) const {
  from = std::min(from, Count());
  to = std::min(to, Count());
  if (to <= from) return {};
  return text_.substr(starts_[from], starts_[to] - starts_[from]);
}

std::string Chars::LowerAscii(std::size_t from, std::size_t to) const {
  std::string out(Slice(from, to));
  std::size_t at = 0;
  for (std::size_t i = std::min(from, Count()); i < std::min(to, Count()); ++i) {
    const int code = Code(i);
    if (code >= 'A' && code <= 'Z') out[at] = static_cast<char>(code + ('a' - 'A'));
    at += starts_[i + 1] - starts_[i];
  }
  return out;
}

std::size_t Chars::Find(std::string_view ascii, std::size_t from) const {
  if (ascii.empty()) return std::min(from, Count());
  for (std::size_t i = from; i + ascii.size() <= Count(); ++i) {
    std::size_t k = 0;
    while (k < ascii.size() && Code(i + k) == static_cast<unsigned char>(ascii[k])) ++k;
    if (k == ascii.size()) return i;
  }
  return npos;
}

std::size_t Chars::FindLastOf(std::string_view set) const {
  for (std::size_t i = Count(); i-- > 0;) {
    const int code = Code(i);
    if (code != kMultiByte && set.find(static_cast<char>(code)) != std::string_view::npos) {
      return i;
    }
  }
  return npos;
}

}  // namespace qm::text
