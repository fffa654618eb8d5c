#include "resources/natural_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace qm::resources {
namespace {

std::vector<std::string> Sorted(std::vector<std::string> names, const text::CodePage& cp) {
  SortNatural(names, cp);
  return names;
}

TEST(NaturalOrder, NumbersCompareByValueAndLettersIgnoreCase) {
  text::CodePage utf8("UTF-8");
  EXPECT_EQ(Sorted({"file10.txt", "File2.txt", "file1.txt", "FILE100.txt", "file9.txt"}, utf8),
            (std::vector<std::string>{"file1.txt", "File2.txt", "file9.txt", "file10.txt",
                                      "FILE100.txt"}));
  EXPECT_EQ(Sorted({"b", "A", "a", "B", "c"}, utf8),
            (std::vector<std::string>{"A", "a", "B", "b", "c"}));
  // Several numbers in a name, each by value; a number longer than any integer type.
  EXPECT_EQ(Sorted({"v1.10", "v1.9", "v1.2", "v10.1", "v99999999999999999999999",
                    "v100000000000000000000000"},
                   utf8),
            (std::vector<std::string>{"v1.2", "v1.9", "v1.10", "v10.1", "v99999999999999999999999",
                                      "v100000000000000000000000"}));
}

TEST(NaturalOrder, LeadingZerosAndCaseOnlyBreakTies) {
  text::CodePage utf8("UTF-8");
  EXPECT_LT(NaturalCompare("a007", "a8", utf8), 0);
  EXPECT_GT(NaturalCompare("a010", "a9", utf8), 0);
  // Same value: the order is still total and consistent in both directions.
  const int zeros = NaturalCompare("a01", "a1", utf8);
  EXPECT_NE(zeros, 0);
  EXPECT_EQ(NaturalCompare("a1", "a01", utf8), -zeros);
  EXPECT_NE(NaturalCompare("Name", "name", utf8), 0);
  EXPECT_EQ(NaturalCompare("same", "same", utf8), 0);
  EXPECT_LT(NaturalCompare("0", "00", utf8), 0);
  EXPECT_LT(NaturalCompare("00", "1", utf8), 0);
}

TEST(NaturalOrder, KindsRankPunctuationNumbersLettersOthers) {
  text::CodePage utf8("UTF-8");
  EXPECT_EQ(
      Sorted({"z", "_x", "9", "\xe4\xb8\xad", "~", "a.txt", "a1.txt", "a b"}, utf8),
      (std::vector<std::string>{"_x", "~", "9", "a b", "a.txt", "a1.txt", "z", "\xe4\xb8\xad"}));
  // A shorter name that is the start of a longer one comes first.
  EXPECT_LT(NaturalCompare("abc", "abc1", utf8), 0);
  EXPECT_LT(NaturalCompare("", "a", utf8), 0);
}

TEST(NaturalOrder, DoubleByteCharactersAreComparedWhole) {
  text::CodePage gbk("CP936");
  // In CP936 the trail byte of a character may be an ASCII letter or "@": "\x81\x41"
  // and "\x81\x61" are two different characters, not one folded letter.
  const std::string upper_trail = "\x81\x41";
  const std::string lower_trail = "\x81\x61";
  EXPECT_NE(NaturalSortKey(upper_trail, gbk), NaturalSortKey(lower_trail, gbk));
  EXPECT_LT(NaturalCompare(upper_trail, lower_trail, gbk), 0);
  // A digit after a double-byte character still starts a number.
  const std::string zhong = gbk.FromUtf8("\xe4\xb8\xad");
  EXPECT_EQ(Sorted({zhong + "10", zhong + "9", zhong + "1"}, gbk),
            (std::vector<std::string>{zhong + "1", zhong + "9", zhong + "10"}));
}

TEST(NaturalOrder, IsAStrictTotalOrderOnMixedNames) {
  text::CodePage utf8("UTF-8");
  std::vector<std::string> names;
  const char* parts[] = {"a", "A", "0", "00", "1", "01", "10", " ", ".", "b", "_", "9"};
  for (const char* x : parts) {
    for (const char* y : parts) {
      for (const char* z : parts) names.push_back(std::string(x) + y + z);
    }
  }
  for (const std::string& a : names) {
    ASSERT_EQ(NaturalCompare(a, a, utf8), 0);
  }
  std::mt19937 random(7);
  for (int n = 0; n < 4000; ++n) {
    const std::string& a = names[random() % names.size()];
    const std::string& b = names[random() % names.size()];
    const std::string& c = names[random() % names.size()];
    const int ab = NaturalCompare(a, b, utf8);
    ASSERT_EQ((ab > 0) - (ab < 0),
              -((NaturalCompare(b, a, utf8) > 0) - (NaturalCompare(b, a, utf8) < 0)))
        << a << " / " << b;
    if (ab < 0 && NaturalCompare(b, c, utf8) < 0) {
      ASSERT_LT(NaturalCompare(a, c, utf8), 0) << a << " < " << b << " < " << c;
    }
  }
  // Sorting through keys agrees with the pairwise comparison.
  std::vector<std::string> by_keys = names;
  SortNatural(by_keys, utf8);
  EXPECT_TRUE(std::is_sorted(
      by_keys.begin(), by_keys.end(),
      [&](const std::string& a, const std::string& b) { return NaturalCompare(a, b, utf8) < 0; }));
}

}  // namespace
}  // namespace qm::resources
