#include "app/course_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/paths.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;

TEST(CommandLineTest, ReadsOptionsAndTheCourseAndLeavesTheToolkitItsOwn) {
  const CommandLine line =
      ParseCommandLine({"-platform", "offscreen", "--codepage", "CP936", "/srv/Course.exe"});
  EXPECT_EQ(line.codepage, "CP936");
  EXPECT_EQ(line.course, "/srv/Course.exe");
  EXPECT_FALSE(line.help || line.version || line.demo);
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);
  EXPECT_TRUE(ParseCommandLine({"--demo", "--codepage=GBK"}).demo);
  EXPECT_EQ(ParseCommandLine({"--", "--odd name"}).course, "--odd name");
  EXPECT_EQ(ParseCommandLine({"--update-url", "http://127.0.0.1:8080"}).update_url,
            "http://127.0.0.1:8080");
  const CommandLine check =
      ParseCommandLine({"--check", "--seconds", "3", "--json", "--trace", "t.jsonl", "c"});
  EXPECT_TRUE(check.check && check.json);
  EXPECT_EQ(check.seconds, 3);
  EXPECT_EQ(check.trace, "t.jsonl");
  EXPECT_EQ(ParseCommandLine({"--check", "c"}).seconds, 10);

  for (const auto& wrong :
       std::vector<std::vector<std::string>>{{"--codepage"},
                                             {"--frobnicate"},
                                             {"a", "b"},
                                             {"--demo", "a"},
                                             {"--update-url", "https://x"},
                                             {"--update-url", "http://x/"},
                                             {"--trace"},
                                             {"--check"},
                                             {"--check", "a", "--seconds", "0"},
                                             {"--check", "a", "--seconds", "2x"},
                                             {"a", "--json"},
                                             {"a", "--seconds", "5"}}) {
    EXPECT_THROW(ParseCommandLine(wrong), Exception) << wrong.front();
  }
}

class CourseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.WriteFile("English Course/MAIN.SWF", "FWS");
    dir.WriteFile("English Course/COURSE.EXE", "MZ");
    dir.WriteFile("no movie/version.swf", "FWS");
  }
  TempDir dir;
};

// COURSE is a folder or a file in it; AppDir is the folder, absolute, with its separator.
TEST_F(CourseTest, TheArgumentNamesTheFolderAndTheTitle) {
  const std::string folder = dir.Dir() + "English Course/";
  struct Case {
    std::string argument;
    std::string title;
  };
  for (const Case& c : {Case{dir.Dir() + "English Course", "English course"},
                        Case{dir.Dir() + "English Course/", "English course"},
                        Case{dir.Dir() + "English Course/COURSE.EXE", "Course"},
                        Case{"English Course/./COURSE.EXE", "Course"},
                        Case{"no movie/../English Course", "English course"}}) {
    const Course course = CourseFromArgument(c.argument, dir.Path());
    EXPECT_EQ(course.folder, ToNativeSeparators(folder)) << c.argument;
    EXPECT_EQ(ApplicationTitle(course.name), c.title) << c.argument;
  }
  EXPECT_THROW(CourseFromArgument("missing", dir.Path()), Exception);
  EXPECT_THROW(CourseFromArgument("no movie", dir.Path()), Exception);
  EXPECT_THROW(CourseFromArgument("no movie/version.swf", dir.Path()), Exception);
  EXPECT_THROW(CourseFromArgument("", dir.Path()), Exception);
}

TEST_F(CourseTest, TheCourseNamesItsCodePage) {
  EXPECT_EQ(CourseCodePage(dir.Path() / "English Course"), "");
  dir.WriteFile("English Course/Quillmere.INI",
                "; made for Chinese Windows\r\n[course]\r\n CodePage = CP936 \r\n");
  EXPECT_EQ(CourseCodePage(dir.Path() / "English Course"), "CP936");
}

TEST_F(CourseTest, TheDemoPlaysInPlaceUnlessAnEarlierCopyHoldsIt) {
  const fs::path installed = dir.Path() / "English Course";
  const fs::path copy = dir.Path() / "data/quillmere/demo";
  EXPECT_EQ(DemoCourseFolder(installed, copy), installed);
  EXPECT_FALSE(fs::exists(copy));  // nothing is copied
  dir.WriteFile("data/quillmere/demo/main.swf", "FWS");
  EXPECT_EQ(DemoCourseFolder(installed, copy), copy);
  EXPECT_THROW(DemoCourseFolder(dir.Path() / "no movie", dir.Path() / "x"), Exception);
}

TEST_F(CourseTest, SettingsOfTheCourseFile) {
  dir.WriteFile("English Course/QUILLMERE.INI", "; shared\r\nUserData = Always\r\n");
  EXPECT_TRUE(CourseSharesUserData(dir.Path() / "English Course"));
  EXPECT_EQ(CourseSetting(dir.Path() / "English Course", "userdata"), "Always");
  dir.WriteFile("English Course/QUILLMERE.INI", "userdata=never\r\n");
  EXPECT_FALSE(CourseSharesUserData(dir.Path() / "English Course"));
  EXPECT_TRUE(ParseCommandLine({"--reset", "a"}).reset);
  EXPECT_THROW(ParseCommandLine({"--reset", "--check", "a"}), Exception);
}

TEST_F(CourseTest, DataFolderAndWindowsPrograms) {
  // The installed layout: bin/, lib/quillmere/ and share/quillmere/ under one prefix.
  dir.WriteFile("usr/share/quillmere/ruffle/ruffle.js", "");
  const std::string data = ToNativeSeparators(dir.Dir() + "usr/share/quillmere");
  EXPECT_EQ(FindDataFolder(dir.Dir() + "usr/bin/", nullptr), data);
  EXPECT_EQ(FindDataFolder(dir.Dir() + "usr/lib/quillmere/", nullptr), data);
  EXPECT_EQ(FindDataFolder(dir.Dir() + "usr/", nullptr), data);
  EXPECT_EQ(FindDataFolder(dir.Dir() + "elsewhere/bin/", nullptr), "");
  EXPECT_EQ(FindDataFolder(dir.Dir() + "usr/bin/", "/opt/qm/"), "/opt/qm");

#ifndef _WIN32
  // The web engine's process (Quillmere's own on Linux) lies beside the standalone
  // player, and must be runnable.
  const std::string process = dir.Dir() + "usr/lib/quillmere/QuillmereWebEngineProcess";
  dir.WriteFile("usr/lib/quillmere/QuillmereWebEngineProcess", "");
  EXPECT_EQ(FindWebEngineProcess(dir.Dir() + "usr/share/quillmere"), "");
  ::chmod(process.c_str(), 0755);
  EXPECT_EQ(FindWebEngineProcess(dir.Dir() + "usr/share/quillmere"), process);
  EXPECT_EQ(FindWebEngineProcess(""), "");
#endif

  EXPECT_TRUE(IsWindowsProgram(dir.Dir() + "English Course/COURSE.EXE"));
  EXPECT_FALSE(IsWindowsProgram(dir.Dir() + "English Course/MAIN.SWF"));
  EXPECT_FALSE(IsWindowsProgram(dir.Dir() + "missing.exe"));
}

}  // namespace
}  // namespace qm::testing
