#include "check/course_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "swf/avm1.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::set<std::string> kExisting = {"sound/there.mp3", "docs/guide.pdf"};

check::PlaySummary Summary(const std::vector<json>& events) {
  return check::Summarise(events, [](const std::string& p) { return kExisting.contains(p); });
}

std::vector<json> Passing() {
  return {{{"event", "get_variable"},
           {"control", "flashversion"},
           {"name", "mainver"},
           {"value", "11"}},
          {{"event", "get_variable"},
           {"control", "flashversion"},
           {"name", "submainver"},
           {"value", "4"}},
          {{"event", "first_frame"}, {"control", "flash1"}}};
}

std::vector<json> With(std::vector<json> events) {
  auto all = Passing();
  all.insert(all.end(), events.begin(), events.end());
  return all;
}

TEST(CourseCheckTest, TheTraceGivesWhatTheMovieUsedAndWhatWasMissing) {
  const auto s = Summary(With({
      {{"event", "request"},
       {"control", "flash1"},
       {"command", "loadfile"},
       {"arguments", {"data/none.txt"}}},
      {{"event", "request"},
       {"control", "flash1"},
       {"command", "loadfile"},
       {"arguments", {"data/none.txt"}}},
      {{"event", "fscommand"},
       {"control", "flash1"},
       {"command", "audio"},
       {"argument", "sound/there.mp3"}},
      {{"event", "fscommand"},
       {"control", "flash1"},
       {"command", "recording"},
       {"argument", "sound/gone.mp3"}},
      {{"event", "fscommand"},
       {"control", "flash1"},
       {"command", "exec"},
       {"argument", "docs/guide.pdf"}},
      {{"event", "fscommand"},
       {"control", "flash1"},
       {"command", "exec"},
       {"argument", "http://x.org/"}},
      {{"event", "call"}, {"control", "flash1"}, {"function", "DelphiCallBack"}},
      {{"event", "console"},
       {"control", "flash1"},
       {"level", "warning"},
       {"message", "Encountered stub: AVM2 Method flash.ui::Mouse.cursor"}},
      {{"event", "console"},
       {"control", "flash1"},
       {"level", "warning"},
       {"message", "Encountered stub: AVM2 Method flash.ui::Mouse.cursor"}},
      {{"event", "console"},
       {"control", "flash1"},
       {"level", "warning"},
       {"message", "Unknown device font \"Arial\""}},
      {{"event", "console"},
       {"control", "flash1"},
       {"level", "error"},
       {"message", "Couldn't load font"}},
      {{"event", "dialog"}, {"dialog", "open"}, {"type", "message"}, {"text", "Saved"}},
      {{"event", "dialog"}, {"dialog", "closed"}, {"type", "message"}, {"text", "Saved"}},
  }));
  EXPECT_TRUE(s.ran);
  EXPECT_EQ(s.requests, (std::map<std::string, int>{{"loadfile", 2}}));
  EXPECT_EQ(s.fscommands,
            (std::map<std::string, int>{{"audio", 1}, {"exec", 2}, {"recording", 1}}));
  EXPECT_EQ(s.calls, (std::map<std::string, int>{{"DelphiCallBack", 1}}));
  EXPECT_EQ(s.missing_files, (std::vector<std::string>{"data/none.txt", "sound/gone.mp3"}));
  EXPECT_EQ(s.unsupported, (std::map<std::string, int>{{"AVM2 Method flash.ui::Mouse.cursor", 2}}));
  EXPECT_EQ(s.warnings, (std::map<std::string, int>{{"Unknown device font \"Arial\"", 1}}));
  EXPECT_EQ(s.errors, std::vector<std::string>{"Couldn't load font"});
  EXPECT_EQ(s.dialogs, std::vector<std::string>{"message: Saved"});
  EXPECT_EQ(s.runtime_passes, true);
  EXPECT_EQ(s.runtime_version, "11.4");
}

TEST(CourseCheckTest, TheRuntimeCheckReadsAsTheShellDoes) {
  struct Case {
    std::vector<json> events;
    bool passes;
  };
  auto version = [](const char* major, const char* minor) {
    return std::vector<json>{{{"event", "get_variable"},
                              {"control", "flashversion"},
                              {"name", "mainver"},
                              {"value", major}},
                             {{"event", "get_variable"},
                              {"control", "flashversion"},
                              {"name", "submainver"},
                              {"value", minor}}};
  };
  const Case cases[] = {{version("10", "2"), true},
                        {version("10", "1"), false},
                        {version("$B", "0"), true},
                        {version("11 ", "0"), false},
                        {{{{"event", "get_variable"},
                           {"control", "flashversion"},
                           {"name", "mainver"},
                           {"error", "refused"}}},
                         false},
                        {{}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(json(c.events).dump());
    EXPECT_EQ(Summary(c.events).runtime_passes, c.passes);
  }
}

TEST(CourseCheckTest, WarningsAreGroupedByKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"Encountered stub: AVM1 System.showSettings", "AVM1 System.showSettings"},
      {"WARN Frame 12 took 340 ms", "WARN Frame # took # ms"},
  };
  for (const auto& [message, kind] : cases) EXPECT_EQ(check::WarningKind(message), kind);
}

TEST(CourseCheckTest, VerdictsAndExitStatus) {
  check::MovieFile main;
  main.path = "main.swf";
  main.header.flash_version = 10;
  check::MovieFile broken;
  broken.path = "sub/Broken.SWF";
  broken.header.problem = "The movie is cut short.";
  check::MovieFile blank_main = main;
  blank_main.drew_nothing = true;
  check::MovieFile lesson;
  lesson.path = "lesson/a.swf";
  lesson.header.flash_version = 9;
  check::MovieFile blank_lesson = lesson;
  blank_lesson.drew_nothing = true;
  check::MovieFile failed_lesson = lesson;
  auto failed_play = std::make_shared<check::PlaySummary>();
  failed_play->failures = {"flash1: panic"};
  failed_lesson.play = failed_play;
  struct Case {
    const char* name;
    std::vector<check::MovieFile> movies;
    std::vector<json> events;
    int status;
  };
  const Case cases[] = {
      {"plays", {main}, Passing(), 0},
      {"a missing file",
       {main},
       With({{{"event", "fscommand"},
              {"control", "flash1"},
              {"command", "audio"},
              {"argument", "a.mp3"}}}),
       1},
      {"an unsupported feature",
       {main},
       With({{{"event", "console"},
              {"control", "flash1"},
              {"level", "warning"},
              {"message", "Encountered stub: X"}}}),
       1},
      {"a warning of another kind",
       {main},
       With({{{"event", "console"},
              {"control", "flash1"},
              {"level", "warning"},
              {"message", "Unknown device font"}}}),
       0},
      {"a damaged movie", {main, broken}, Passing(), 2},
      {"main.swf drew nothing", {blank_main}, Passing(), 1},
      {"a lesson movie drew nothing", {main, blank_lesson}, Passing(), 1},
      {"a lesson movie's player failed", {main, failed_lesson}, Passing(), 2},
      {"the runtime check fails", {main}, {{{"event", "first_frame"}, {"control", "flash1"}}}, 2},
      {"the movie never ran", {main}, {Passing()[0], Passing()[1]}, 2},
      {"the player failed",
       {main},
       With({{{"event", "failure"}, {"control", "flash1"}, {"detail", "panic"}}}),
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    check::Report report;
    report.movies = c.movies;
    report.played = true;
    report.main = Summary(c.events);
    EXPECT_EQ(check::ExitStatus(report), c.status);
    EXPECT_EQ(check::ReportJson(report)["exit_status"], c.status);
    EXPECT_NE(check::ReportText(report).find("exit status " + std::to_string(c.status)),
              std::string::npos);
  }
}

TEST(CourseCheckTest, ThePageShowsEveryMovieWithItsPicturesAndEscapesItsText) {
  check::Report report;
  report.course = "/srv/<course> & co/";
  report.played = true;
  report.main = Summary(Passing());
  check::MovieFile main;
  main.path = "main.swf";
  main.header.flash_version = 10;
  main.pictures = {{"01-main.swf.png", "first frame"}, {"02-main.swf.png", "end of the play"}};
  check::MovieFile lesson;
  lesson.path = "lesson 1/a#b.swf";
  lesson.header.flash_version = 9;
  lesson.drew_nothing = true;
  lesson.pictures = {{"03-lesson 1_a#b.swf.png", "after 3 s"}};
  report.movies = {lesson, main};
  const std::string page = check::ReportPage(report);
  EXPECT_NE(page.find("/srv/&lt;course&gt; &amp; co/"), std::string::npos);
  EXPECT_EQ(page.find("<course>"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos);  // nothing from outside
  for (const char* img : {"<img src=\"01-main.swf.png\"", "<img src=\"02-main.swf.png\"",
                          "<img src=\"03-lesson%201_a%23b.swf.png\""}) {
    EXPECT_NE(page.find(img), std::string::npos) << img;
  }
  EXPECT_NE(page.find("Drew nothing"), std::string::npos);
  const auto json = check::ReportJson(report);
  EXPECT_EQ(json["movies"][1]["pictures"][0]["file"], "01-main.swf.png");
  EXPECT_TRUE(json["movies"][0]["drew_nothing"]);
}

TEST(CourseCheckTest, AScriptCalledByNameStaysOnOneLineOfTheText) {
  check::Report report;
  report.played = true;
  const std::string script = "(function() {\n  return   true;\n}) " + std::string(40, 'a');
  report.main = Summary(With({{{"event", "request"}, {"control", "flash1"}, {"command", script}}}));
  const std::string text = check::ReportText(report);
  const auto at = text.find("ExternalInterface requests: ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(text.substr(at, text.find('\n', at) - at),
            "ExternalInterface requests: (function() { return true; }) " + std::string(30, 'a') +
                "... x1");
}

TEST(CourseCheckTest, EveryMovieFileOfTheFolderIsFoundInAnyLetterCase) {
  const fs::path dir = fs::temp_directory_path() / ("qm-check-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Unit1");
  const swf::Bytes movie = swf::WriteMovie({}, {{swf::tags::kShowFrame, {}}});
  for (const char* name : {"main.swf", "Unit1/Lesson.SWF", "version.Swf"}) {
    swf::SaveMovie((dir / name).string(), movie);
  }
  std::ofstream(dir / "notes.txt") << "not a movie";
  std::ofstream(dir / "Unit1/empty.swf");
  const auto movies = check::FindMovies(dir);
  std::vector<std::string> paths;
  for (const auto& m : movies) paths.push_back(m.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"Unit1/Lesson.SWF", "Unit1/empty.swf", "main.swf",
                                             "version.Swf"}));
  EXPECT_EQ(movies[0].header.flash_version, 8);
  EXPECT_EQ(check::MovieVerdict(movies[1]), check::Verdict::kFails);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm::testing
