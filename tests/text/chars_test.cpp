#include "text/chars.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::text {
namespace {

// GBK trail bytes that look like ASCII: 0x81 0x40 ("@"), 0x81 0x5C ("\"), 0x81 0x41
// ("A").
const std::string kAtTrail = "\x81\x40";
const std::string kBackslashTrail = "\x81\x5C";
const std::string kLetterTrail = "\x81\x41";

const CodePage& Gbk() {
  static const CodePage gbk("CP936");
  return gbk;
}

TEST(CharsTest, CodesByCharacter) {
  const std::string text = "a" + kAtTrail + "\xFF";
  const Chars chars(text, Gbk());
  ASSERT_EQ(chars.Count(), 3u);
  const std::vector<int> codes = {'a', Chars::kMultiByte, 0xFF, 0, 0};
  for (std::size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(chars.Code(i), codes[i]) << i;
  EXPECT_EQ(chars.At(1), kAtTrail);
  EXPECT_EQ(chars.At(3), "");
}

TEST(CharsTest, SlicesAreCutToTheText) {
  const std::string text = "a" + kAtTrail + "bc";
  const Chars chars(text, Gbk());
  struct Case {
    std::size_t from, to;
    std::string expected;
  };
  const Case cases[] = {
      {0, 2, "a" + kAtTrail},
      {1, 3, kAtTrail + "b"},
      {2, 999, "bc"},
      {4, 999, ""},
      {9, 12, ""},
      {3, 1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chars.Slice(c.from, c.to), c.expected) << c.from << ".." << c.to;
  }
}

TEST(CharsTest, LowerCasesOnlySingleByteLetters) {
  const std::string text = "AB" + kLetterTrail + "Z!";
  const Chars chars(text, Gbk());
  EXPECT_EQ(chars.LowerAscii(0, chars.Count()), "ab" + kLetterTrail + "z!");
  EXPECT_EQ(chars.LowerAscii(1, chars.Count()), "b" + kLetterTrail + "z!");
  EXPECT_EQ(chars.LowerAscii(2, 3), kLetterTrail);
}

TEST(CharsTest, FindsWholeCharactersOnly) {
  struct Case {
    std::string text;
    std::size_t expected;
  };
  const Case cases[] = {
      {"ab@@@c", 2},
      {"@@", Chars::npos},
      {kAtTrail + "@@", Chars::npos},  // the first "@" is a trail byte
      {"x" + kAtTrail + "@@@@", 2},
      {"@@" + kAtTrail + "@@@", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Chars(c.text, Gbk()).Find("@@@"), c.expected) << c.text;
  }
  EXPECT_EQ(Chars("@@@.@@@", Gbk()).Find("@@@", 1), 4u);
}

TEST(CharsTest, FindsTheLastOfASet) {
  struct Case {
    std::string text;
    std::size_t expected;
  };
  const Case cases[] = {
      {"a\\b:c", 3},
      {"a/b" + kBackslashTrail, 1},  // the trailing "\" is a trail byte
      {"name", Chars::npos},
      {"", Chars::npos},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Chars(c.text, Gbk()).FindLastOf("\\:/"), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace qm::text
