// Which course the desktop program plays: its command line, the course folder that
// COURSE names, the course's own settings file, and the demo course of an installed
// program. File names here are UTF-8, as the file system spells them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// What the program's command line asks for.
struct CommandLine {
  bool help = false;
  bool version = false;
  bool demo = false;
  bool reset = false;                 // "--reset": remove the learner's layer of the course
  std::string codepage;               // "--codepage NAME"; empty when not given
  std::string update_url;             // "--update-url http://HOST[:PORT]"; empty: built in
  std::optional<std::string> course;  // COURSE: a course folder or a file inside it
  std::string trace;                  // "--trace FILE": the bridge trace's file; empty: none
  bool check = false;                 // "--check": report on the course instead of playing it
  int seconds = 10;                   // "--seconds N": how long --check plays main.swf
  bool json = false;                  // "--json": the check's report as JSON
  std::string report;                 // "--report DIR": the check's page and pictures
  int movie_seconds = 3;              // "--movie-seconds N": how long --report plays the
                                      // other movies
};

// Reads the arguments after the program's name. Options of the toolkit (one "-", such
// as "-platform offscreen") are left to it, with the value the known ones take. Throws
// Exception with a message for the user on an unknown option, a missing value or a
// second COURSE.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text "--help" prints.
std::string UsageText(std::string_view program);

// A course to play.
struct Course {
  std::string folder;  // absolute, ends in "/"; this is AppDir
  std::string name;    // what the application title is made from: the course program's
                       // file name ("COURSE.EXE") or the folder's name
};

// True when `folder` holds the course movie "main.swf" (in any letter case).
bool HoldsCourse(const std::filesystem::path& folder);

// The course that COURSE names: a course folder, or a file inside one (typically the
// course's own Windows program). A relative COURSE is taken from `working_folder`.
// Throws Exception with a message for the user when it does not exist or holds no
// "main.swf".
Course CourseFromArgument(std::string_view argument, const std::filesystem::path& working_folder);

// The course in `folder` (absolute), named after the folder.
Course CourseOfFolder(const std::filesystem::path& folder);

// The code page the course names in its settings file "quillmere.ini" (found in any
// letter case) with a line "codepage=NAME"; empty when it names none or has no such file.
std::string CourseCodePage(const std::filesystem::path& folder);
// The value of `key` (lower case) in the course's "quillmere.ini", as CourseCodePage
// reads "codepage"; empty when it has none.
std::string CourseSetting(const std::filesystem::path& folder, std::string_view key);
// The course's quillmere.ini says "userdata=always": the folder is shared by everyone
// who plays it, and each learner's files go into a layer of their own.
bool CourseSharesUserData(const std::filesystem::path& folder);

// The demo course for an installed program: `installed` is the read-only copy that
// ships with it, played in place over the learner's layer; `earlier_copy` is where
// earlier versions copied it for each user, and is played instead while it holds a
// course. Throws Exception when neither holds one.
std::filesystem::path DemoCourseFolder(const std::filesystem::path& installed,
                                       const std::filesystem::path& earlier_copy);

}  // namespace qm
