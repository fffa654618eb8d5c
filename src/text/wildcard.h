// Wildcard matching of names: "*" stands for any run of characters (none included), "?"
// for any one character, every other character for itself. Works on any sequence of
// characters that can be indexed: code points (std::u32string) or the characters of a
// code page as byte strings (std::vector<std::string>). Comparing is exact; callers that
// ignore letter case fold both sides first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <type_traits>

namespace qm::text {

// How a "." in the pattern treats a name that ends early.
enum class WildcardDots {
  // "." is a character like any other.
  kPlain,
  // As the system's file search: a "." followed only by "*" at the end of the pattern
  // also matches the end of the name, so "*.*" matches every name and "readme.*" and
  // "readme." match "readme".
  kFileSearch,
  // As a file dialog's filter: a pattern that ends in ".*" also matches a name without
  // any "." when the pattern before ".*" does ("readme.*" matches "readme", "a.b.*" does
  // not match "a.b").
  kFilter,
};

namespace wildcard_detail {

template <typename Char>
bool Is(const Char& c, char ascii) {
  if constexpr (std::is_integral_v<Char>) {
    return c == static_cast<Char>(ascii);
  } else {
    return c.size() == 1 && c[0] == ascii;
  }
}

// Matches the whole of `name` against `pattern`'s first `size` characters as far as it
// goes: the position in the pattern where the name ended, after any "*" there; npos when
// the name cannot be matched. Iterative, one back-tracking point for the last "*".
template <typename Seq>
std::size_t Consume(const Seq& pattern, std::size_t size, const Seq& name) {
  constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = npos;
  std::size_t mark = 0;
  while (n < name.size()) {
    if (p < size && (Is(pattern[p], '?') || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < size && Is(pattern[p], '*')) {
      star = p++;
      mark = n;
    } else if (star != npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return npos;
    }
  }
  while (p < size && Is(pattern[p], '*')) ++p;
  return p;
}

}  // namespace wildcard_detail

template <typename Seq>
bool WildcardMatch(const Seq& pattern, const Seq& name, WildcardDots dots = WildcardDots::kPlain) {
  using wildcard_detail::Is;
  const std::size_t size = pattern.size();
  const std::size_t p = wildcard_detail::Consume(pattern, size, name);
  if (p == size) return true;
  if (dots == WildcardDots::kFileSearch && p < size && Is(pattern[p], '.')) {
    return std::all_of(pattern.begin() + p + 1, pattern.end(),
                       [](const auto& c) { return Is(c, '*'); });
  }
  if (dots == WildcardDots::kFilter && size >= 2 && Is(pattern[size - 2], '.') &&
      Is(pattern[size - 1], '*') &&
      std::none_of(name.begin(), name.end(), [](const auto& c) { return Is(c, '.'); })) {
    return wildcard_detail::Consume(pattern, size - 2, name) == size - 2;
  }
  return false;
}

}  // namespace qm::text
