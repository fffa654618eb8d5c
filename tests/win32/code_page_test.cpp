// The Windows code pages: the names they are opened by and the system's conversion.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "text/codepage.h"

namespace qm::text {
namespace {

struct NameCase {
  const char* name;
  const char* canonical;
};

class CodePageName : public testing::TestWithParam<NameCase> {};

TEST_P(CodePageName, OpensItsCodePage) {
  const CodePage page(GetParam().name);
  EXPECT_EQ(page.Name(), GetParam().canonical);
  EXPECT_EQ(CodePage(page.Name()).Name(), page.Name());  // the canonical name opens it again
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, CodePageName,
    testing::Values(NameCase{"CP936", "CP936"}, NameCase{"cp936", "CP936"},
                    NameCase{"GBK", "CP936"}, NameCase{"gb2312", "CP936"},
                    NameCase{"EUC-CN", "CP936"}, NameCase{"Big5", "CP950"},
                    NameCase{"Shift_JIS", "CP932"}, NameCase{"EUC-KR", "CP949"},
                    NameCase{"Windows-1252", "CP1252"}, NameCase{"IBM850", "CP850"},
                    NameCase{"ISO-8859-1", "CP28591"}, NameCase{"latin1", "CP28591"},
                    NameCase{"ISO8859-15", "CP28605"}, NameCase{"KOI8-R", "CP20866"},
                    NameCase{"UTF-8", "UTF-8"}, NameCase{"utf8", "UTF-8"},
                    NameCase{"CP65001", "UTF-8"}));

class RefusedName : public testing::TestWithParam<const char*> {};

TEST_P(RefusedName, IsAnUnknownCharacterSet) {
  try {
    const CodePage page(GetParam());
    ADD_FAILURE() << "opened as " << page.Name();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "Unknown character set \"" + std::string(GetParam()) + "\": ", 0),
              0u)
        << e.what();
  }
}

// Unknown names, numbers that are no code page, and pages of longer characters
// (GB18030, ISO-2022-JP).
INSTANTIATE_TEST_SUITE_P(Refused, RefusedName,
                         testing::Values("NO-SUCH-CHARSET", "UTF-16", "CP", "CP+936", "CP936x",
                                         "CP123456", "CP99999", "ISO-8859-10", "CP54936",
                                         "CP50220"));

TEST(Win32CodePage, EmptyNameIsTheSystemsAnsiCodePage) {
  const UINT acp = GetACP();
  EXPECT_EQ(CodePage().Name(), acp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(acp));
}

TEST(Win32CodePage, NoBestFitCharacters) {
  const CodePage cp1252("CP1252");
  EXPECT_EQ(cp1252.ToUtf16("\x80\xE9"), u"\u20AC\u00E9");
  EXPECT_EQ(cp1252.FromUtf16(u"\u20AC\u00E9"), "\x80\xE9");
  // Best fit would write "a" for a-macron and "8" for the full-width digit.
  EXPECT_EQ(cp1252.FromUtf16(u"x\u0101\uFF18y"), "x??y");
  EXPECT_EQ(cp1252.FromUtf8("\xC4\x81"), "?");
}

}  // namespace
}  // namespace qm::text
