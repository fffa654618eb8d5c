// How the shell reads the movie's requests and what it sends back, through the
// FlashCall event as the movie raises it.
#include <gtest/gtest.h>

#include "bridge/request.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using ::testing::Test;

class RequestTest : public Test {
 protected:
  ShellHarness shell;

  // Saves `argument_xml` (the inside of the second argument element) with saveBytes
  // and returns the bytes written before the final CR LF.
  std::string SavedBytes(const std::string& argument_xml) {
    const auto reply = shell.Call(
        "<invoke name=\"saveBytes\" returntype=\"xml\"><arguments><string>out.txt</string>"
        "<string>" +
        argument_xml + "</string></arguments></invoke>");
    EXPECT_EQ(reply, "<true/>");
    std::string bytes = shell.app.ReadFile("out.txt");
    EXPECT_GE(bytes.size(), 2u);
    if (bytes.size() >= 2) bytes.resize(bytes.size() - 2);
    return bytes;
  }
};

TEST_F(RequestTest, CommandNameIsTheFirstAttributeWhateverItsName) {
  EXPECT_EQ(shell.Call("<invoke foo=\"getAppDir\" name=\"loadfile\"/>"),
            "<string>" + shell.app.Dir() + "</string>");
  // "returntype" first makes "xml" the command, which nothing answers.
  EXPECT_EQ(shell.Call("<invoke returntype=\"xml\" name=\"getAppDir\"/>"), std::nullopt);
  EXPECT_TRUE(shell.Entries("error_report").empty());
}

TEST_F(RequestTest, MalformedRequestsGoToTheErrorReportWithoutReply) {
  for (const char* request : {"", "just text", "<invoke/>", "<invoke>x</invoke>",
                              "<invoke name=\"loadfile\" returntype=\"xml\"></invoke>",
                              "<invoke name=\"savefile\"><arguments><string>a.txt</string>"
                              "</arguments></invoke>"}) {
    shell.journal.Clear();
    EXPECT_EQ(shell.Call(request), std::nullopt) << request;
    EXPECT_EQ(shell.Entries("error_report").size(), 1u) << request;
  }
  EXPECT_FALSE(shell.app.Exists("a.txt"));  // the missing content stopped the write
}

TEST_F(RequestTest, CommandWithoutArgumentsNeedsNoArgumentsElement) {
  EXPECT_EQ(shell.Call("<invoke name=\"getAppDir\" returntype=\"xml\"/>"),
            "<string>" + shell.app.Dir() + "</string>");
  // One-argument commands never look for a second argument.
  shell.app.WriteFile("a.txt", "line\r\n");
  EXPECT_EQ(shell.Call("<invoke name=\"loadfile\"><arguments><string>a.txt</string>"
                       "</arguments></invoke>"),
            "<string>line</string>");
}

TEST_F(RequestTest, ArgumentsElementFoundIgnoringCaseAndChildrenOfAnyName) {
  shell.app.WriteFile("a.txt", "x\r\n");
  EXPECT_EQ(shell.Call("<invoke name=\"loadfile\"><ARGUMENTS><path>a.txt</path>"
                       "</ARGUMENTS></invoke>"),
            "<string>x</string>");
  // An element without text reads as the empty text: the program folder, not a file.
  EXPECT_EQ(shell.Call("<invoke name=\"loadfile\"><Arguments><true/></Arguments></invoke>"),
            "<string></string>");
}

TEST_F(RequestTest, WhiteSpaceBetweenArgumentsCountsAsAnArgument) {
  shell.app.WriteFile("a.txt", "x\r\n");
  // Child 0 is the blank run, read as the empty text: the program folder itself.
  EXPECT_EQ(shell.Call("<invoke name=\"loadfile\"><arguments> <string>a.txt</string>"
                       "</arguments></invoke>"),
            "<string></string>");
}

TEST_F(RequestTest, ArgumentTextRules) {
  EXPECT_EQ(SavedBytes("a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;"), "a & b <c> \"d\" 'e'");
  EXPECT_EQ(SavedBytes("  \t padded \t "), "padded");
  EXPECT_EQ(SavedBytes("    "), "");
  EXPECT_EQ(SavedBytes("one\ntwo"), "one\r\ntwo");
  EXPECT_EQ(SavedBytes("one\r\ntwo\rthree"), "one\r\ntwo\r\nthree");
  EXPECT_EQ(SavedBytes("one&#10;two"), "one\ntwo");
  EXPECT_EQ(SavedBytes("one&#13;two"), "one\ntwo");
  EXPECT_EQ(SavedBytes("&nbsp;&#65536;&#x;&foo"), "&nbsp;&#65536;&#x;&foo");
  EXPECT_EQ(SavedBytes("&#20013;&#x4E2D;"), "\xE4\xB8\xAD\xE4\xB8\xAD");
}

TEST_F(RequestTest, RepliesAreNotEscaped) {
  ASSERT_EQ(shell.Invoke("savefile", {"r.txt", "a<b>&c"}), "<true/>");
  EXPECT_EQ(shell.Invoke("loadfile", {"r.txt"}), "<string>a<b>&c</string>");
}

TEST_F(RequestTest, CallsIntoTheMovie) {
  std::u16string seen;
  shell.flash1.movie_function = [&](const std::u16string& request) {
    seen = request;
    return u"<string>ok</string>";
  };
  EXPECT_EQ(shell.form->NotifyMovie("canspeak", ""), "<string>ok</string>");
  EXPECT_EQ(text::Utf16ToUtf8(seen),
            "<invoke name=\"DelphiCallBack\" returntype=\"xml\"><arguments><string>canspeak"
            "</string><string></string></arguments></invoke>");
  shell.form->CallMovieFunction("pick", "selectedover", "\\res\\a&b<c>.mp3");
  EXPECT_EQ(text::Utf16ToUtf8(seen),
            "<invoke name=\"pick\" returntype=\"xml\"><arguments><string>selectedover"
            "</string><string>\\res\\a&b<c>.mp3</string></arguments></invoke>");
}

TEST(RequestCodePageTest, CharactersAndReferencesInCp936) {
  ShellHarness shell("CP936");
  // Sent directly, a character arrives in the code page; as a reference, as UTF-8.
  ASSERT_EQ(shell.Call("<invoke name=\"saveBytes\"><arguments><string>d.txt</string>"
                       "<string>中&#x4E2D;</string></arguments></invoke>"),
            "<true/>");
  EXPECT_EQ(shell.app.ReadFile("d.txt"), "\xD6\xD0\xE4\xB8\xAD\r\n");
  // Characters the code page cannot hold become "?".
  ASSERT_EQ(shell.Invoke("saveBytes", {"e.txt", "a😀b"}), "<true/>");
  EXPECT_EQ(shell.app.ReadFile("e.txt"), "a?b\r\n");
  // Calls into the movie cross in UTF-16 both ways.
  std::u16string seen;
  shell.flash1.movie_function = [&](const std::u16string& request) {
    seen = request;
    return u"<string>好</string>";
  };
  EXPECT_EQ(shell.form->NotifyMovie(text::A("录音"), ""), text::A("<string>好</string>"));
  EXPECT_NE(text::Utf16ToUtf8(seen).find("<string>录音</string>"), std::string::npos);
}

}  // namespace
}  // namespace qm::testing
