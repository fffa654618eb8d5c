#include "resources/natural_order.h"

#include <algorithm>

#include "text/codepage.h"

namespace qm::resources {

namespace {

// The kinds of characters, in the order they sort.
enum Kind : char {
  kPunctuation = 1,
  kNumber = 2,
  kLetter = 3,
  kOther = 4,
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

// The key is a sequence of items, each starting with its kind:
//   punctuation: the byte;
//   number: the count of its digits without leading zeros (two bytes, high first), then
//           those digits, so that a longer number sorts after a shorter one;
//   letter: the lower-case letter;
//   other: the character's bytes, then a zero byte (a character that is the start of
//          a longer one sorts first).
// Items of the same kind line up byte for byte, so comparing keys as bytes compares
// names item by item.
std::string NaturalSortKey(std::string_view name, const text::CodePage& code_page) {
  // Where each character starts: every byte of a name in ASCII (the common case, read
  // without asking the code page), else as the code page says.
  const bool ascii = std::all_of(name.begin(), name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::vector<std::size_t> starts;
  if (!ascii) starts = code_page.CharStarts(name);
  const std::size_t count = ascii ? name.size() : starts.size();
  const auto start = [&](std::size_t i) { return ascii ? i : starts[i]; };
  const auto length = [&](std::size_t i) {
    return (i + 1 < count ? start(i + 1) : name.size()) - start(i);
  };

  std::string key;
  key.reserve(name.size() * 2 + 4);
  std::size_t i = 0;
  while (i < count) {
    const std::size_t begin = start(i);
    const char c = name[begin];
    if (length(i) > 1 || static_cast<unsigned char>(c) >= 0x80) {
      key += kOther;
      key.append(name.substr(begin, length(i)));
      key += '\0';
      ++i;
    } else if (IsDigit(c)) {
      std::size_t last = i;  // the run of digits is characters i..last-1, one byte each
      while (last < count && length(last) == 1 && IsDigit(name[start(last)])) ++last;
      std::size_t first = i;
      while (first + 1 < last && name[start(first)] == '0') ++first;
      std::size_t digits = last - first;
      if (digits == 1 && name[start(first)] == '0') digits = 0;  // the value zero
      const std::size_t counted = std::min<std::size_t>(digits, 0xFFFF);
      key += kNumber;
      key += static_cast<char>(counted >> 8);
      key += static_cast<char>(counted & 0xFF);
      if (digits > 0) key.append(name.substr(start(last - digits), digits));
      i = last;
    } else if (IsLetter(c)) {
      key += kLetter;
      key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
      ++i;
    } else {
      key += kPunctuation;
      key += c;
      ++i;
    }
  }
  return key;
}

int NaturalCompare(std::string_view a, std::string_view b, const text::CodePage& code_page) {
  const int by_key = NaturalSortKey(a, code_page).compare(NaturalSortKey(b, code_page));
  if (by_key != 0) return by_key;
  return a.compare(b);
}

bool operator<(const NaturalName& a, const NaturalName& b) {
  const int by_key = a.key.compare(b.key);
  if (by_key != 0) return by_key < 0;
  return a.name < b.name;
}

void SortNatural(std::vector<std::string>& names, const text::CodePage& code_page) {
  std::vector<NaturalName> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) {
    std::string key = NaturalSortKey(name, code_page);
    keyed.push_back({std::move(name), std::move(key)});
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].name);
}

}  // namespace qm::resources
