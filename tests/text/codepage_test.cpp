#include "text/codepage.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qm::text {
namespace {

using Starts = std::vector<std::size_t>;

// "中" (U+4E2D) in each encoding; U+1F600, which GBK lacks.
const std::string kZhongGbk = "\xD6\xD0";
const std::string kZhongUtf8 = "\xE4\xB8\xAD";
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";
const std::u16string kEmoji16 = u"\U0001F600";

TEST(CodePageTest, NamesAndCharacterSets) {
  EXPECT_TRUE(CodePage("UTF-8").IsUtf8());
  EXPECT_TRUE(CodePage("utf8").IsUtf8());
  EXPECT_FALSE(CodePage("CP936").IsUtf8());
  EXPECT_EQ(CodePage("CP936").Name(), "CP936");

  // The locale's character set; a plain ASCII locale counts as UTF-8.
  const CodePage locale;
  EXPECT_FALSE(locale.Name().empty());
  EXPECT_NE(locale.Name(), "ANSI_X3.4-1968");

  EXPECT_THROW(CodePage("NO-SUCH-CHARSET"), std::runtime_error);
  EXPECT_THROW(CodePage("UTF-16"), std::runtime_error);  // not ASCII-compatible
}

TEST(CodePageTest, Gbk) {
  const CodePage gbk("CP936");
  EXPECT_EQ(gbk.ToUtf16(kZhongGbk), u"中");
  EXPECT_EQ(gbk.FromUtf16(u"中"), kZhongGbk);
  EXPECT_EQ(gbk.ToUtf8(kZhongGbk), kZhongUtf8);
  EXPECT_EQ(gbk.FromUtf8(kZhongUtf8), kZhongGbk);
  EXPECT_EQ(gbk.FromUtf16(u"\u00E9"), "\xA8\xA6");  // é is in GBK
  EXPECT_EQ(gbk.ToUtf16("\x80"), u"\u20AC");        // and 80 is the euro sign

  // ASCII before, between and after; "\x81\x40" has a trail byte in 40..7E.
  const std::string mixed = "a" + kZhongGbk + "b\x81\x40z";
  EXPECT_EQ(gbk.ToUtf16(mixed), u"a中b\u4E02z");
  EXPECT_EQ(gbk.FromUtf16(u"a中b\u4E02z"), mixed);
  EXPECT_EQ(gbk.FromUtf8(gbk.ToUtf8(mixed)), mixed);

  // Long ASCII stretches joined to converted ones.
  std::string ansi(1000, 'x');
  std::u16string wide(1000, u'x');
  for (int i = 0; i < 50; ++i) {
    ansi += kZhongGbk + "y";
    wide += u"中y";
  }
  EXPECT_EQ(gbk.ToUtf16(ansi), wide);
  EXPECT_EQ(gbk.FromUtf16(wide), ansi);
}

TEST(CodePageTest, GbkUnmappableAndMalformed) {
  const CodePage gbk("CP936");
  // One "?" per character, a surrogate pair being one character.
  EXPECT_EQ(gbk.FromUtf16(u"a" + kEmoji16 + u"中\u0E01b"), "a?" + kZhongGbk + "?b");
  EXPECT_EQ(gbk.FromUtf8("a" + kEmojiUtf8 + "b"), "a?b");
  // Unpaired surrogates: a lone low one, a high one before a non-surrogate, one at the end.
  EXPECT_EQ(gbk.FromUtf16(u"\xDC00x\xD800y\xD800"), "?x?y?");
  EXPECT_EQ(gbk.FromUtf16(u"\xD800中"), "?" + kZhongGbk);

  // Bytes that form no character: U+FFFD each, then the reading goes on.
  EXPECT_EQ(gbk.ToUtf16("a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(gbk.ToUtf16("ab\x81"), u"ab\uFFFD");  // lead byte cut off by the end
  EXPECT_EQ(gbk.ToUtf16("\x81 x"), u"\uFFFD x");  // lead byte with no valid trail
  EXPECT_EQ(gbk.ToUtf8("a\xFF\x81"), "a\xEF\xBF\xBD\xEF\xBF\xBD");

  // Malformed UTF-8 on the way in: "?" for each byte.
  EXPECT_EQ(gbk.FromUtf8("\xFFz"), "?z");
  EXPECT_EQ(gbk.FromUtf8("\xE4\xB8z"), "??z");     // truncated sequence
  EXPECT_EQ(gbk.FromUtf8("\xC0\x80"), "??");       // overlong NUL
  EXPECT_EQ(gbk.FromUtf8("\xED\xA0\x80"), "???");  // encoded surrogate
}

TEST(CodePageTest, Utf8) {
  const CodePage utf8("UTF-8");
  EXPECT_EQ(utf8.ToUtf16(kZhongUtf8 + kEmojiUtf8), u"中" + kEmoji16);
  EXPECT_EQ(utf8.FromUtf16(u"中" + kEmoji16), kZhongUtf8 + kEmojiUtf8);
  EXPECT_EQ(utf8.FromUtf16(u"a\xDC00z\xD800"), "a?z?");
  EXPECT_EQ(utf8.ToUtf8(kZhongUtf8), kZhongUtf8);
  EXPECT_EQ(utf8.FromUtf8(kEmojiUtf8), kEmojiUtf8);

  EXPECT_EQ(utf8.ToUtf16("a\xFF\xE4\xB8"), u"a\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8.ToUtf8("a\xFF"), "a\xEF\xBF\xBD");
  EXPECT_EQ(utf8.FromUtf8("a\xFF\xE4\xB8"), "a???");
  EXPECT_EQ(utf8.FromUtf8("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
}

TEST(CodePageTest, CharacterBoundaries) {
  const CodePage gbk("CP936");
  const std::string mixed = "a" + kZhongGbk + "b\x81\x40z";
  EXPECT_EQ(gbk.CharStarts(mixed), (Starts{0, 1, 3, 4, 6}));
  EXPECT_EQ(gbk.CharCount(mixed), 5u);
  // Invalid bytes and a lead byte at the end count one each.
  EXPECT_EQ(gbk.CharStarts("\xFFz\x81"), (Starts{0, 1, 2}));
  EXPECT_EQ(gbk.CharCount("x\x81 y"), 4u);
  EXPECT_EQ(gbk.CharCount(""), 0u);
  EXPECT_EQ(gbk.CharStarts("abc"), (Starts{0, 1, 2}));

  const CodePage utf8("UTF-8");
  const std::string text = "a" + kZhongUtf8 + kEmojiUtf8 + "\xFFz";
  EXPECT_EQ(utf8.CharStarts(text), (Starts{0, 1, 4, 8, 9}));
  EXPECT_EQ(utf8.CharCount(text), 5u);
  EXPECT_EQ(utf8.CharCount("\xE4\xB8"), 2u);  // truncated: two stray bytes
}

TEST(CodePageTest, ConcurrentUseOfOnePage) {
  const CodePage gbk("CP936");
  const std::string ansi = "a" + kZhongGbk + "\xFFz";
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        if (gbk.ToUtf16(ansi) != u"a中\uFFFDz" ||
            gbk.FromUtf16(u"中" + kEmoji16) != kZhongGbk + "?" || gbk.CharCount(ansi) != 4) {
          ++failures[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(CodePageTest, ShellCodePage) {
  const std::string previous = Ansi().Name();
  SetAnsiCodePage("CP936");
  CodePage& gbk = Ansi();
  EXPECT_EQ(gbk.Name(), "CP936");
  EXPECT_EQ(A("中"), kZhongGbk);

  EXPECT_THROW(SetAnsiCodePage("NO-SUCH-CHARSET"), std::runtime_error);
  EXPECT_EQ(&Ansi(), &gbk);  // a failed change keeps the page

  SetAnsiCodePage("UTF-8");
  EXPECT_EQ(A("中"), kZhongUtf8);
  EXPECT_EQ(gbk.FromUtf16(u"中"), kZhongGbk);  // a replaced page stays usable
  SetAnsiCodePage(previous);
}

TEST(CodePageTest, PlainConversions) {
  EXPECT_EQ(LowerAscii("AbZ@[`az\xC3\x80"), "abz@[`az\xC3\x80");
  EXPECT_EQ(LowerAscii(u'Q'), u'q');
  EXPECT_EQ(LowerAscii(u'\u00C0'), u'\u00C0');

  EXPECT_EQ(Utf8OfCodeUnit(0), std::string(1, '\0'));
  EXPECT_EQ(Utf8OfCodeUnit(0x7F), "\x7F");
  EXPECT_EQ(Utf8OfCodeUnit(0x80), "\xC2\x80");
  EXPECT_EQ(Utf8OfCodeUnit(0x7FF), "\xDF\xBF");
  EXPECT_EQ(Utf8OfCodeUnit(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(Utf8OfCodeUnit(0xD800), "\xED\xA0\x80");
  EXPECT_EQ(Utf8OfCodeUnit(0xFFFF), "\xEF\xBF\xBF");

  EXPECT_EQ(Utf8ToUtf16("a" + kZhongUtf8 + kEmojiUtf8), u"a中" + kEmoji16);
  EXPECT_EQ(Utf16ToUtf8(u"a中" + kEmoji16), "a" + kZhongUtf8 + kEmojiUtf8);
  EXPECT_EQ(Utf8ToUtf16("\xFF\xE4\xB8z\xC0\x80"), u"\uFFFD\uFFFD\uFFFDz\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800z\xDC00"), "\xEF\xBF\xBDz\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qm::text
