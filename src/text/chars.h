// The characters of a text in a code page, by index. A double-byte character counts
// once; a byte that starts no valid character counts as one character.
//
// Searches for "\", "@" or a letter must go by characters: in a double-byte code page a
// trail byte may have the value of any of them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text/codepage.h"

namespace qm::text {

class Chars {
 public:
  // What Code answers for a character longer than one byte.
  static constexpr int kMultiByte = 256;
  static constexpr std::size_t npos = std::string_view::npos;

  // `text` must outlive this object.
  explicit Chars(std::string_view text, const CodePage& code_page = Ansi());

  std::size_t Count() const { return starts_.size() - 1; }
  // The bytes of character `i`; "" past the end.
  std::string_view At(std::size_t i) const { return Slice(i, i + 1); }
  // The byte of character `i` (0 to 255) when it is one byte long; kMultiByte for a
  // longer character; 0 past the end.
  int Code(std::size_t i) const;
  // Characters [from, to) as bytes; both ends are cut to Count().
  std::string_view Slice(std::size_t from, std::size_t to) const;
  // Characters [from, to) with A-Z lower-cased in the single-byte characters only.
  std::string LowerAscii(std::size_t from, std::size_t to) const;

  // The first index, from `from` on, at which the single-byte characters of `ascii`
  // follow one another; npos when there is none.
  std::size_t Find(std::string_view ascii, std::size_t from = 0) const;
  // The index of the last single-byte character that is one of `set`; npos when none is.
  std::size_t FindLastOf(std::string_view set) const;

 private:
  std::string_view text_;
  std::vector<std::size_t> starts_;  // where each character starts, then the text's size
};

}  // namespace qm::text
