// The order in which the file views list names: the order a desktop file manager uses.
//
// Runs of digits compare by their numeric value ("file2" before "file10"), letters
// compare without regard to case (A to Z only, as everywhere in the shell), and the
// kinds of characters rank punctuation and blanks first, then numbers, then letters,
// then every other character (non-ASCII characters in the order of their bytes in the
// code page, each character compared as a whole). Names that are equal in this order
// are ordered by their bytes, so the order is total: "a01" and "A1" still sort apart.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm::text {
class CodePage;
}

namespace qm::resources {

// A text whose byte order is the natural order of `name` (before the final tie-break
// on the name's bytes). Names are ANSI text in `code_page`, whose character boundaries
// keep a double-byte character's trail byte from being taken for a letter.
std::string NaturalSortKey(std::string_view name, const text::CodePage& code_page);

// Negative, zero or positive as `a` sorts before, with, or after `b`; zero only for
// equal texts.
int NaturalCompare(std::string_view a, std::string_view b, const text::CodePage& code_page);

// A name with its key, for sorting many names without rebuilding keys.
struct NaturalName {
  std::string name;
  std::string key;
};
bool operator<(const NaturalName& a, const NaturalName& b);

// Sorts ANSI names in the natural order.
void SortNatural(std::vector<std::string>& names, const text::CodePage& code_page);

}  // namespace qm::resources
