// The course check: what a course's movie files are, and what main.swf did while it
// played for a while, read from its bridge trace; the report and its verdicts.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "swf/movie_header.h"

namespace qm::check {

// One movie file of the course.
struct PlaySummary;

// A picture of a movie as it played: a PNG file in the report's folder.
struct Picture {
  std::string file;     // the file's name
  std::string caption;  // when it was taken ("first frame", ...)
};

struct MovieFile {
  std::string path;  // relative to the course folder, "/" separated, UTF-8
  swf::MovieFileInfo header;
  std::string read_error;  // the file could not be read at all
  // The pictures taken of it (file names in the report's folder), in the order taken.
  std::vector<Picture> pictures;
  bool drew_nothing = false;  // every pixel of its last picture has one colour
  // A movie other than main.swf played on its own: what it did; none when not played.
  std::shared_ptr<const PlaySummary> play;
  std::string not_played;  // why a movie that could have been played was not
};

// Every movie file (*.swf in any letter case) below `folder`, sorted by path.
std::vector<MovieFile> FindMovies(const std::filesystem::path& folder);

// What main.swf did while it played, from its trace events.
struct PlaySummary {
  bool ran = false;  // the movie drew a frame or spoke to the shell
  int seconds = 0;
  std::map<std::string, int> requests;     // ExternalInterface commands, by name
  std::map<std::string, int> fscommands;   // by name
  std::map<std::string, int> calls;        // calls into the movie, by function
  std::map<std::string, int> unsupported;  // features the player does not support, by kind
  std::map<std::string, int> warnings;     // the player's other warnings, by kind
  std::vector<std::string> errors;         // the player's error messages
  std::vector<std::string> failures;       // the player gave up: the movie cannot go on
  std::vector<std::string> dialogs;        // "type: text" of each dialog shown
  // The runtime check: the version movie's reading and whether it passes (10.2 or later).
  std::string runtime_version;  // "major.minor" as read, or empty when not read
  std::optional<bool> runtime_passes;
  std::string runtime_problem;
  std::vector<std::string> missing_files;  // asked for by the course, relative paths
  std::vector<std::string> would_write;    // files the course wrote or changed
  std::string ended;                       // why the program would have ended, or empty
};

// Reads the trace. `exists` tells whether a path relative to the course folder (UTF-8,
// as the movie named it) names an existing file.
PlaySummary Summarise(const std::vector<nlohmann::json>& events,
                      const std::function<bool(const std::string&)>& exists);

// Whether a player warning is about a feature it does not support (a stub, something
// not implemented).
bool IsUnsupportedFeature(const std::string& message);

// The kind of a player warning: a stub's feature ("Encountered stub: X" gives X), else
// the message without its numbers.
std::string WarningKind(const std::string& message);

enum class Verdict { kPlays = 0, kWarnings = 1, kFails = 2 };
std::string VerdictText(Verdict verdict);

struct Report {
  std::string course;  // the folder
  // Where this user's files of the course would go when it is played over a layer of
  // theirs (the folder is not writable, or its quillmere.ini shares it); empty: none.
  std::string learner_layer;
  std::string layer_reason;  // why the layer is used
  std::vector<MovieFile> movies;
  PlaySummary main;     // main.swf's play
  bool played = false;  // main.swf was played (there is one)
};

Verdict MovieVerdict(const MovieFile& movie);
Verdict MainVerdict(const Report& report, const MovieFile& movie);
// The worst verdict: the exit status.
int ExitStatus(const Report& report);

std::string ReportText(const Report& report);
nlohmann::ordered_json ReportJson(const Report& report);
// The report as one HTML page with no scripts and nothing from outside but the pictures
// of the movies beside it.
std::string ReportPage(const Report& report);

// Helpers the report's views share.
std::string DescribeMovie(const MovieFile& movie);
bool IsMainMovie(const MovieFile& movie);
Verdict VerdictOf(const Report& report, const MovieFile& movie);
// "name xN, ..." or "none".
std::string CountsText(const std::map<std::string, int>& counts);

}  // namespace qm::check
