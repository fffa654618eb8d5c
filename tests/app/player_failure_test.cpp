// The course movie's player failing: its process lost once, twice, or a movie that
// cannot be played.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qm::testing {
namespace {

using Failure = IFlashControl::Failure;

std::vector<std::string> PlainTexts(const ShellHarness& h) {
  std::vector<std::string> texts;
  for (const auto& e : h.Entries("dialog")) texts.push_back(e["text"]);
  return texts;
}

TEST(PlayerFailure, ALostPlayerRestartsTheCourseOnceAMinute) {
  ShellHarness h;
  const std::u16string main_movie = h.flash1.Movie();
  h.flash1.SetMovie(u"");  // whatever the movie did, the course starts again
  h.flash1.Fail(Failure::kProcessLost, u"");
  EXPECT_EQ(h.flash1.Movie(), main_movie);
  ASSERT_EQ(PlainTexts(h).size(), 1u);
  EXPECT_NE(PlainTexts(h)[0].find("restarted"), std::string::npos);
  EXPECT_FALSE(h.process.Terminated());

  // Lost again more than a minute later: restarted again.
  h.windows.Advance(TForm1::kPlayerLossWindowMs);
  h.flash1.Fail(Failure::kProcessLost, u"");
  EXPECT_EQ(PlainTexts(h).size(), 2u);
  EXPECT_FALSE(h.process.Terminated());

  // Lost again within the minute: the program says so and ends, not looping.
  h.windows.Advance(TForm1::kPlayerLossWindowMs - 1);
  h.flash1.Fail(Failure::kProcessLost, u"");
  ASSERT_EQ(PlainTexts(h).size(), 3u);
  EXPECT_NE(PlainTexts(h)[2].find("again"), std::string::npos);
  EXPECT_TRUE(h.process.Terminated());
  EXPECT_EQ(h.process.TerminatedWith(), TForm1::kPlayerFailedExitCode);
}

TEST(PlayerFailure, AMovieThatCannotBePlayedIsNamedAndEndsTheProgram) {
  ShellHarness h;
  h.flash1.Fail(Failure::kMovieFailed, u"The file is cut short");
  ASSERT_EQ(PlainTexts(h).size(), 1u);
  EXPECT_NE(PlainTexts(h)[0].find(h.app.Dir() + "main.swf\nThe file is cut short"),
            std::string::npos);
  EXPECT_TRUE(h.process.Terminated());
  EXPECT_EQ(h.process.TerminatedWith(), TForm1::kPlayerFailedExitCode);
}

}  // namespace
}  // namespace qm::testing
