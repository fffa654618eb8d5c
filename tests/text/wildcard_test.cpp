#include "text/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::text {
namespace {

struct Case {
  std::u32string pattern;
  std::u32string name;
  bool plain, file_search, filter;
};

// One row per rule; the columns are the three ways of treating a ".".
const Case kCases[] = {
    {U"abc", U"abc", true, true, true},
    {U"abc", U"abd", false, false, false},
    {U"a?c", U"abc", true, true, true},
    {U"a?c", U"ac", false, false, false},
    {U"*", U"", true, true, true},
    {U"*", U"anything", true, true, true},
    {U"a*", U"a", true, true, true},
    {U"*c", U"abcbc", true, true, true},
    {U"*b*d", U"abcbd", true, true, true},
    {U"*b*d", U"abcbe", false, false, false},
    {U"*.*", U"readme.txt", true, true, true},
    {U"*.*", U"readme", false, true, true},
    {U"readme.*", U"readme", false, true, true},
    {U"readme.**", U"readme", false, true, false},
    {U"readme.", U"readme", false, true, false},
    {U"a*.", U"abc", false, true, false},
    {U"a.b.*", U"a.b", false, true, false},
    {U"x.*.*", U"x", false, false, false},
    {U"readme.?", U"readme", false, false, false},
};

TEST(WildcardTest, TableOfPatterns) {
  for (const Case& c : kCases) {
    const std::string label(c.pattern.begin(), c.pattern.end());
    EXPECT_EQ(WildcardMatch(c.pattern, c.name, WildcardDots::kPlain), c.plain) << label;
    EXPECT_EQ(WildcardMatch(c.pattern, c.name, WildcardDots::kFileSearch), c.file_search) << label;
    EXPECT_EQ(WildcardMatch(c.pattern, c.name, WildcardDots::kFilter), c.filter) << label;
  }
}

TEST(WildcardTest, LetterCaseCounts) {
  EXPECT_FALSE(WildcardMatch(std::u32string(U"*.TXT"), std::u32string(U"a.txt")));
}

// Characters of a code page: a double-byte character is one "?", and a byte string of
// length one is compared like the character it holds.
TEST(WildcardTest, CodePageCharacters) {
  using Chars = std::vector<std::string>;
  const Chars name = {"\xD6\xD0", ".", "t", "x", "t"};
  EXPECT_TRUE(WildcardMatch(Chars{"?", ".", "*"}, name));
  EXPECT_FALSE(WildcardMatch(Chars{"?", "?", ".", "*"}, name));
  EXPECT_TRUE(WildcardMatch(Chars{"\xD6\xD0", "*"}, name));
  EXPECT_TRUE(WildcardMatch(Chars{"*", ".", "*"}, Chars{"\xD6\xD0"}, WildcardDots::kFilter));
}

}  // namespace
}  // namespace qm::text
