#include "app/course_folder.h"

#include <fstream>
#include <system_error>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// The toolkit's own options that take a value ("-platform offscreen").
constexpr std::string_view kToolkitOptionsWithValue[] = {"-platform",        "-platformpluginpath",
                                                         "-platformtheme",   "-plugin",
                                                         "-qwindowgeometry", "-qwindowicon",
                                                         "-qwindowtitle",    "-display",
                                                         "-geometry",        "-style",
                                                         "-stylesheet",      "-session"};

// The file `name` in `folder`, found in any letter case as every course path is.
fs::path FindInFolder(const fs::path& folder, std::string_view name) {
  static const text::CodePage utf8("UTF-8");
  return FsPathOf(SystemFileSystem(utf8)->NativePath(NativeOf(folder / std::string(name))));
}

std::string Trim(std::string_view s) {
  const auto begin = s.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  const auto end = s.find_last_not_of(" \t\r");
  return std::string(s.substr(begin, end - begin + 1));
}

// A whole number of seconds from 1 to `most`, the value of `option`.
int Seconds(const std::string& text, const std::string& option, int most) {
  std::size_t used = 0;
  int seconds = 0;
  try {
    seconds = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || seconds < 1 || seconds > most) {
    throw Exception(option + " takes a whole number of seconds from 1 to " + std::to_string(most));
  }
  return seconds;
}

std::string WithSeparator(const fs::path& folder) {
  std::string text = folder.string();
  if (text.empty() || !IsPathSeparator(text.back())) text += kPathSep;
  return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool seconds_given = false;
  bool movie_seconds_given = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        throw Exception("the option " + arg + " needs a value");
      }
      return arguments[++i];
    };
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg == "--demo") {
      line.demo = true;
    } else if (arg == "--reset") {
      line.reset = true;
    } else if (arg == "--codepage") {
      line.codepage = value();
    } else if (arg.rfind("--codepage=", 0) == 0) {
      line.codepage = arg.substr(11);
      if (line.codepage.empty()) throw Exception("the option --codepage needs a value");
    } else if (arg == "--update-url") {
      line.update_url = value();
      if (line.update_url.rfind("http://", 0) != 0 || line.update_url.size() == 7 ||
          line.update_url.back() == '/') {
        throw Exception("--update-url takes http://HOST[:PORT], without a trailing /");
      }
    } else if (arg == "--trace") {
      line.trace = value();
    } else if (arg == "--check") {
      line.check = true;
    } else if (arg == "--json") {
      line.json = true;
    } else if (arg == "--report") {
      line.report = value();
    } else if (arg == "--movie-seconds") {
      line.movie_seconds = Seconds(value(), "--movie-seconds", 60);
      movie_seconds_given = true;
    } else if (arg == "--seconds") {
      line.seconds = Seconds(value(), "--seconds", 3600);
      seconds_given = true;
    } else if (arg == "--") {
      for (++i; i < arguments.size(); ++i) {
        if (line.course) throw Exception("only one course can be played at a time");
        line.course = arguments[i];
      }
    } else if (arg.rfind("--", 0) == 0) {
      throw Exception("unknown option " + arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      // The toolkit's: it reads them itself.
      for (const std::string_view known : kToolkitOptionsWithValue) {
        if (arg == known && i + 1 < arguments.size()) ++i;
      }
    } else {
      if (line.course) throw Exception("only one course can be played at a time");
      line.course = arg;
    }
  }
  if (line.demo && line.course) throw Exception("--demo plays the demo course: name no COURSE");
  if (line.check && !line.course && !line.demo) throw Exception("--check needs a COURSE");
  if (line.reset && line.check) throw Exception("--reset and --check go separately");
  if ((seconds_given || line.json || !line.report.empty()) && !line.check) {
    throw Exception(std::string(seconds_given ? "--seconds"
                                : line.json   ? "--json"
                                              : "--report") +
                    " goes with --check");
  }
  if (movie_seconds_given && line.report.empty()) {
    throw Exception("--movie-seconds goes with --report");
  }
  return line;
}

std::string UsageText(std::string_view program) {
  const std::string p(program);
  return "Usage: " + p + " [OPTION]... [COURSE]\n" +
         "Plays a Flash course: the movie main.swf of a course folder, with the services\n"
         "the course relies on (files, sound recording, resources, documents).\n"
         "\n"
         "COURSE is the course folder, or a file in it (such as the course's own Windows\n"
         "program, Course.exe). Without COURSE, the program's own folder is played when it\n"
         "holds main.swf; otherwise a folder chooser asks for the course.\n"
         "\n"
         "A course folder you cannot write (a CD, a shared folder), or one whose\n"
         "quillmere.ini says userdata=always, is played over a folder of your own,\n"
         "$XDG_DATA_HOME/quillmere/courses/NAME-HASH: what the course saves goes there,\n"
         "and what it reads is looked up there first.\n"
         "\n"
         "Options:\n"
         "  --codepage NAME  the code page of the course's text files (e.g. CP936); by\n"
         "                   default the one the course's quillmere.ini names, else the\n"
         "                   locale's character set\n"
         "  --demo           play the demo course that is installed with the program\n"
         "  --reset          remove what you saved in the course (your own layer of it:\n"
         "                   progress, recordings, added resources), after asking; with\n"
         "                   --demo, in the demo course\n"
         "  --update-url URL the update service's address, http://HOST[:PORT], instead of\n"
         "                   the built-in one\n"
         "  --trace FILE     write every exchange between the course and the shell to FILE,\n"
         "                   one JSON line per event (requests, replies, fscommands, calls\n"
         "                   into the movie, dialogs, sound commands, the player's warnings)\n"
         "  --check          do not show the course: check it and print a report (every\n"
         "                   movie's header; main.swf played off-screen for a while, with\n"
         "                   what it asked for, what was missing, the player's warnings).\n"
         "                   Exit status 0: everything plays, 1: warnings, 2: failures\n"
         "  --seconds N      how long --check plays main.swf (default 10)\n"
         "  --json           print the --check report as JSON\n"
         "  --report DIR     with --check, also write DIR/index.html, a page to open in\n"
         "                   a browser, with a picture of every movie: main.swf at its\n"
         "                   first frame and at the end of its play, every other movie\n"
         "                   (but version.swf) played on its own for a short while\n"
         "  --movie-seconds N  how long --report plays each other movie (default 3;\n"
         "                   60 s at most for all of them)\n"
         "  --help           show this help and exit\n"
         "  --version        show the version and exit\n";
}

bool HoldsCourse(const fs::path& folder) {
  std::error_code error;
  return fs::is_directory(folder, error) &&
         fs::is_regular_file(FindInFolder(folder, "main.swf"), error);
}

Course CourseOfFolder(const fs::path& folder) {
  const fs::path clean = folder.lexically_normal();
  const fs::path without_separator = clean.has_filename() ? clean : clean.parent_path();
  return {WithSeparator(without_separator), without_separator.filename().string()};
}

Course CourseFromArgument(std::string_view argument, const fs::path& working_folder) {
  if (argument.empty()) throw Exception("the course is an empty name");
  const fs::path given = (working_folder / fs::path(std::string(argument))).lexically_normal();
  std::error_code error;
  const fs::file_status status = fs::status(given, error);
  if (!fs::exists(status)) {
    throw Exception(std::string(argument) + ": no such course folder or file");
  }
  Course course;
  if (fs::is_directory(status)) {
    course = CourseOfFolder(given);
  } else {
    const fs::path file = given.has_filename() ? given : given.parent_path();
    course = {WithSeparator(file.parent_path()), file.filename().string()};
  }
  if (!HoldsCourse(course.folder)) {
    throw Exception(course.folder + " holds no course: main.swf is not there");
  }
  return course;
}

std::string CourseSetting(const fs::path& folder, std::string_view key) {
  std::ifstream in(FindInFolder(folder, "quillmere.ini"));
  std::string line;
  std::string value;
  while (std::getline(in, line)) {
    const std::string text = Trim(line);
    const auto equals = text.find('=');
    if (text.empty() || text[0] == ';' || text[0] == '#' || equals == std::string::npos) continue;
    if (text::LowerAscii(Trim(std::string_view(text).substr(0, equals))) == key) {
      value = Trim(std::string_view(text).substr(equals + 1));
    }
  }
  return value;
}

std::string CourseCodePage(const fs::path& folder) {
  return CourseSetting(folder, "codepage");
}

bool CourseSharesUserData(const fs::path& folder) {
  return text::LowerAscii(CourseSetting(folder, "userdata")) == "always";
}

fs::path DemoCourseFolder(const fs::path& installed, const fs::path& earlier_copy) {
  if (HoldsCourse(earlier_copy)) return earlier_copy;
  if (!HoldsCourse(installed)) {
    throw Exception("the demo course is not installed (" + installed.string() + ")");
  }
  return installed;
}

}  // namespace qm
