// Reading the update service's reply: the text box's view of it, the "ewest" test, the
// download path and the upgrade file's name, counted in code-page characters.
#include "update/update_reply.h"

#include <gtest/gtest.h>

#include "text/codepage.h"
#include "ui/memo.h"

namespace qm::update {
namespace {

const text::CodePage& Utf8() {
  static const text::CodePage cp("UTF-8");
  return cp;
}
const text::CodePage& Gbk() {
  static const text::CodePage cp("CP936");
  return cp;
}

TEST(ReplyTextTest, LineBreaksBecomeCrLfAndTheTextEndsAtTheFirstNul) {
  EXPECT_EQ(TMemo::BoxText("a\nb\r\nc\rd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
  EXPECT_EQ(TMemo::BoxText(std::string("newest\0tail\n", 12)), "newest");
  EXPECT_EQ(TMemo::BoxText(std::string("\0", 1)), "");
  EXPECT_EQ(TMemo::BoxText("\r\r\n\n"), "\r\n\r\n\r\n");
}

TEST(ReplyTextTest, NoUpgradeOnlyWhenTheLastFiveCharactersAreEwest) {
  EXPECT_TRUE(MeansNoUpgrade("newest", Utf8()));
  EXPECT_TRUE(MeansNoUpgrade("ewest", Utf8()));
  EXPECT_TRUE(MeansNoUpgrade("You have the newest", Utf8()));
  EXPECT_FALSE(MeansNoUpgrade("newest\r\n", Utf8()));
  EXPECT_FALSE(MeansNoUpgrade("west", Utf8()));
  EXPECT_FALSE(MeansNoUpgrade("", Utf8()));
  EXPECT_FALSE(MeansNoUpgrade("NEWEST", Utf8()));
  // In CP936 "\x81e" is one character whose second byte is "e": the last five
  // characters are that character and "west", not "ewest".
  EXPECT_FALSE(
      MeansNoUpgrade("\x81"
                     "ewest",
                     Gbk()));
  EXPECT_TRUE(
      MeansNoUpgrade("\xd0\xc2"
                     "ewest",
                     Gbk()));
}

TEST(ReplyTextTest, DownloadPathFollowsTheFirstMarker) {
  EXPECT_EQ(DownloadPath("there is one @@@/upload/setup.exe", Utf8()), "/upload/setup.exe");
  EXPECT_EQ(DownloadPath("@@@/a@@@/b", Utf8()), "/a@@@/b");
  EXPECT_EQ(DownloadPath("@@@", Utf8()), "");
  EXPECT_EQ(DownloadPath("x@@@/u/s.exe\r\n", Utf8()), "/u/s.exe\r\n");
  // Without a marker: from the third character on.
  EXPECT_EQ(DownloadPath("ab/upload/x.exe", Utf8()), "/upload/x.exe");
  EXPECT_EQ(DownloadPath("", Utf8()), "");
  EXPECT_EQ(DownloadPath("a", Utf8()), "");
  // Double-byte characters count once, before and after the marker.
  EXPECT_EQ(DownloadPath("\xd0\xc2\xb0\xe6\xb1\xbe@@@/u/\xc9\xfd.exe", Gbk()), "/u/\xc9\xfd.exe");
  EXPECT_EQ(DownloadPath("\xd0\xc2\xb0\xe6/x", Gbk()), "/x");
  // "\x81@" is one character: it does not start a marker.
  EXPECT_EQ(DownloadPath("\x81@@@/x@@@/y", Gbk()), "/y");
}

TEST(ReplyTextTest, DownloadPathHoldsAtMost999Characters) {
  const std::string long_path = "/" + std::string(1200, 'p');
  EXPECT_EQ(DownloadPath("@@@" + long_path, Utf8()), long_path.substr(0, 999));
  EXPECT_EQ(DownloadPath("ab" + long_path, Utf8()), long_path.substr(0, 999));
  std::string wide;  // 1000 double-byte characters
  for (int i = 0; i < 1000; ++i) wide += "\xc9\xfd";
  EXPECT_EQ(DownloadPath("@@@" + wide, Gbk()), wide.substr(0, 1998));
}

TEST(LastUrlSegmentTest, SplitsAtSlashesAndBlanks) {
  EXPECT_EQ(LastUrlSegment("http://host/dir/setup.exe", Utf8()), "setup.exe");
  EXPECT_EQ(LastUrlSegment("http://host/dir/", Utf8()), "");
  EXPECT_EQ(LastUrlSegment("http://host", Utf8()), "host");
  EXPECT_EQ(LastUrlSegment("http://h/my setup.exe", Utf8()), "setup.exe");
  EXPECT_EQ(LastUrlSegment("http://h/setup.exe\r\n", Utf8()), "setup.exe");
  EXPECT_EQ(LastUrlSegment("  \t", Utf8()), "");
  EXPECT_EQ(LastUrlSegment("", Utf8()), "");
  EXPECT_EQ(LastUrlSegment("a / ", Utf8()), "a");  // the "/" is not the last character
  EXPECT_EQ(LastUrlSegment("a/ b", Utf8()), "b");
  EXPECT_EQ(LastUrlSegment("a/b /", Utf8()), "");
  EXPECT_EQ(LastUrlSegment(std::string("a/b\0/c", 6), Utf8()), "b");
}

TEST(LastUrlSegmentTest, QuotedPartsRunToTheirClosingQuote) {
  EXPECT_EQ(LastUrlSegment("http://h/\"my setup.exe\"", Utf8()), "my setup.exe");
  EXPECT_EQ(LastUrlSegment("h/\"a/b\"", Utf8()), "a/b");
  EXPECT_EQ(LastUrlSegment("h/\"say \"\"hi\"\"\"", Utf8()), "say \"hi\"");
  EXPECT_EQ(LastUrlSegment("h/\"open", Utf8()), "open");
  EXPECT_EQ(LastUrlSegment("h/\"q\"tail", Utf8()), "tail");  // what follows is a part of its own
  EXPECT_EQ(LastUrlSegment("h/x\"y", Utf8()), "x\"y");       // a quote inside a part is plain
}

TEST(LastUrlSegmentTest, DoubleByteCharactersAreScannedWhole) {
  EXPECT_EQ(LastUrlSegment("http://h/\xc9\xfd\xbc\xb6.exe", Gbk()), "\xc9\xfd\xbc\xb6.exe");
  EXPECT_EQ(LastUrlSegment("http://h/\x81\x5c"
                           "a",
                           Gbk()),
            "\x81\x5c"
            "a");
}

TEST(UpgradeFileNameTest, OnlyPlainNamesInsideTheProgramFolder) {
  EXPECT_TRUE(IsPlainFileName("setup.exe", Utf8()));
  EXPECT_TRUE(IsPlainFileName("..setup", Utf8()));
  EXPECT_FALSE(IsPlainFileName("", Utf8()));
  EXPECT_FALSE(IsPlainFileName(".", Utf8()));
  EXPECT_FALSE(IsPlainFileName("..", Utf8()));
  EXPECT_FALSE(IsPlainFileName("..\\..\\evil.exe", Utf8()));
  EXPECT_FALSE(IsPlainFileName("a/b", Utf8()));
  EXPECT_FALSE(IsPlainFileName(std::string("a\0b", 3), Utf8()));
  // A trail byte 0x5C is part of a character, not a separator.
  EXPECT_TRUE(IsPlainFileName("\x81\x5c.exe", Gbk()));
}

}  // namespace
}  // namespace qm::update
