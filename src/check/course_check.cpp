#include "check/course_check.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/runtime_check.h"

namespace qm::check {

namespace fs = std::filesystem;

namespace {

bool IsMovieName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".swf";
}

std::string Field(const nlohmann::json& event, const char* name) {
  const auto it = event.find(name);
  return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// A name on one line of the text report: blanks and line ends run together, and a
// long one (a movie may call a whole script) cut short.
std::string OneLine(const std::string& name) {
  constexpr std::size_t kLongest = 60;
  std::string out;
  for (const char c : name) {
    const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  if (out.size() > kLongest) out = out.substr(0, kLongest) + "...";
  return out;
}

}  // namespace

std::string CountsText(const std::map<std::string, int>& counts) {
  if (counts.empty()) return "none";
  std::string out;
  for (const auto& [name, count] : counts) {
    if (!out.empty()) out += ", ";
    out += OneLine(name) + " x" + std::to_string(count);
  }
  return out;
}

namespace {

std::string List(const std::vector<std::string>& items, const std::string& indent) {
  if (items.empty()) return "none\n";
  std::string out = "\n";
  for (const auto& item : items) out += indent + item + "\n";
  return out;
}

}  // namespace

std::string DescribeMovie(const MovieFile& movie) {
  if (!movie.read_error.empty()) return "could not be read: " + movie.read_error;
  const swf::MovieFileInfo& h = movie.header;
  if (h.flash_version == 0) return h.problem;
  std::ostringstream out;
  out << "Flash " << h.flash_version << ", ";
  if (h.as3) {
    out << (*h.as3 ? "ActionScript 3" : "ActionScript 1/2");
  } else {
    out << "ActionScript not read";
  }
  out << ", "
      << (h.compression == swf::Compression::kLzma   ? "lzma, not read"
          : h.compression == swf::Compression::kZlib ? "zlib"
                                                     : "uncompressed");
  if (h.width && h.height) out << ", " << *h.width << "x" << *h.height;
  if (h.frame_rate) out << ", " << *h.frame_rate << " fps";
  if (h.frame_count) out << ", " << *h.frame_count << (*h.frame_count == 1 ? " frame" : " frames");
  if (!h.problem.empty()) out << "; " << h.problem;
  return out.str();
}

bool IsMainMovie(const MovieFile& movie) {
  std::string lower = movie.path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "main.swf";
}

std::vector<MovieFile> FindMovies(const fs::path& folder) {
  std::vector<MovieFile> movies;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it(folder, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error) || !IsMovieName(it->path())) continue;
    MovieFile movie;
    movie.path = it->path().lexically_relative(folder).generic_string();
    std::ifstream in(it->path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
      movie.read_error = "the file cannot be opened";
    } else {
      movie.header = swf::ReadMovieFileInfo(bytes);
    }
    movies.push_back(std::move(movie));
  }
  std::sort(movies.begin(), movies.end(),
            [](const MovieFile& a, const MovieFile& b) { return a.path < b.path; });
  return movies;
}

bool IsUnsupportedFeature(const std::string& message) {
  std::string lower = message;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* mark :
       {"encountered stub", "unimplemented", "not implemented", "unsupported", "not supported"}) {
    if (lower.find(mark) != std::string::npos) return true;
  }
  return false;
}

std::string WarningKind(const std::string& message) {
  static const std::string kStub = "Encountered stub: ";
  if (const auto at = message.find(kStub); at != std::string::npos) {
    return message.substr(at + kStub.size());
  }
  std::string kind;
  for (const char c : message) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (kind.empty() || kind.back() != '#') kind += '#';
    } else {
      kind += c;
    }
  }
  return kind;
}

PlaySummary Summarise(const std::vector<nlohmann::json>& events,
                      const std::function<bool(const std::string&)>& exists) {
  PlaySummary s;
  std::optional<std::string> major, minor;
  auto wanted = [&](const std::string& path) {
    if (path.empty() || path.find("://") != std::string::npos) return;
    if (!exists(path)) AddOnce(s.missing_files, path);
  };
  for (const auto& e : events) {
    const std::string event = Field(e, "event");
    const std::string control = Field(e, "control");
    const std::string command = Field(e, "command");
    if (event == "request" && control == "flash1") {
      s.ran = true;
      ++s.requests[command];
      const auto args = e.value("arguments", nlohmann::json::array());
      if ((command == "loadfile" || command == "loadBytes") && !args.empty() &&
          args[0].is_string()) {
        wanted(args[0].get<std::string>());
      }
    } else if (event == "fscommand" && control == "flash1") {
      s.ran = true;
      ++s.fscommands[command];
      if (command == "audio" || command == "recording" || command == "exec") {
        wanted(Field(e, "argument"));
      }
    } else if (event == "call" && control == "flash1") {
      ++s.calls[Field(e, "function")];
    } else if (event == "first_frame" && control == "flash1") {
      s.ran = true;
    } else if (event == "console" && control == "flash1") {
      // The version movie's player is the shell's own business (it has no sound by
      // design); a version it cannot tell shows in the runtime check.
      const std::string level = Field(e, "level");
      const std::string message = Field(e, "message");
      if (level == "warning") {
        ++(IsUnsupportedFeature(message) ? s.unsupported : s.warnings)[WarningKind(message)];
      }
      if (level == "error") AddOnce(s.errors, message);
    } else if (event == "failure") {
      AddOnce(s.failures, control + ": " + Field(e, "detail"));
    } else if (event == "dialog" && Field(e, "dialog") != "closed") {
      s.dialogs.push_back(Field(e, "type") + ": " + Field(e, "text"));
    } else if (event == "window") {
      s.dialogs.push_back("window " + Field(e, "form"));
    } else if (event == "get_variable" && control == "flashversion") {
      // The check reads again after a refusal while the movie was busy: the last
      // reading counts.
      const std::string name = Field(e, "name");
      if (e.contains("error")) {
        s.runtime_problem = name + " could not be read: " + Field(e, "error");
        major.reset();
        minor.reset();
      } else if (name == "mainver") {
        major = Field(e, "value");
        minor.reset();
        s.runtime_problem.clear();
      } else if (name == "submainver") {
        minor = Field(e, "value");
      }
    } else if (event == "missing" && control == "flash1") {
      AddOnce(s.missing_files, Field(e, "path"));  // one of the movie's own loads
    } else if (event == "ended") {
      s.ended = Field(e, "reason");
    } else if (event == "time_limit") {
      s.ended = "the play was cut off after " + std::to_string(e.value("seconds", 0)) +
                " s: the player was too slow to start the movie or to answer the runtime check";
    }
  }
  if (major && minor) {
    s.runtime_version = *major + "." + *minor;
    try {
      const int a = StrToInt(*major), b = StrToInt(*minor);
      s.runtime_passes = a > 10 || (a == 10 && b >= 2);
      if (!*s.runtime_passes) s.runtime_problem = "older than 10.2";
    } catch (const std::exception& e) {
      s.runtime_passes = false;
      s.runtime_problem = e.what();
    }
  } else if (s.runtime_problem.empty()) {
    s.runtime_problem = "the version movie's variables were not read";
  }
  if (!s.runtime_problem.empty()) s.runtime_passes = false;
  return s;
}

std::string VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPlays:
      return "plays";
    case Verdict::kWarnings:
      return "plays with warnings";
    case Verdict::kFails:
      break;
  }
  return "fails";
}

Verdict MovieVerdict(const MovieFile& movie) {
  if (!movie.read_error.empty() || !movie.header.problem.empty()) return Verdict::kFails;
  if (movie.play && !movie.play->failures.empty()) return Verdict::kFails;
  if (movie.drew_nothing) return Verdict::kWarnings;
  if (movie.play && (!movie.play->unsupported.empty() || !movie.play->errors.empty() ||
                     !movie.play->missing_files.empty())) {
    return Verdict::kWarnings;
  }
  return Verdict::kPlays;
}

Verdict VerdictOf(const Report& report, const MovieFile& movie) {
  return IsMainMovie(movie) ? MainVerdict(report, movie) : MovieVerdict(movie);
}

Verdict MainVerdict(const Report& report, const MovieFile& movie) {
  const Verdict own = MovieVerdict(movie);
  if (own == Verdict::kFails || !report.played) return own;
  const PlaySummary& s = report.main;
  if (!s.ran || !s.failures.empty() || s.runtime_passes == false) return Verdict::kFails;
  if (!s.unsupported.empty() || !s.errors.empty() || !s.missing_files.empty() ||
      movie.drew_nothing) {
    return Verdict::kWarnings;
  }
  return Verdict::kPlays;
}

int ExitStatus(const Report& report) {
  Verdict worst = Verdict::kPlays;
  for (const auto& movie : report.movies) {
    worst = std::max(worst, IsMainMovie(movie) ? MainVerdict(report, movie) : MovieVerdict(movie));
  }
  if (!report.played) worst = Verdict::kFails;
  return static_cast<int>(worst);
}

std::string ReportText(const Report& report) {
  std::ostringstream out;
  out << "Course: " << report.course << "\n";
  if (report.learner_layer.empty()) {
    out << "Learner's files: in the course folder (it is writable)\n";
  } else {
    out << "Learner's files: " << report.learner_layer << " (" << report.layer_reason << ")\n";
  }
  out << "\nMovies:\n";
  if (report.movies.empty()) out << "  none\n";
  for (const auto& movie : report.movies) {
    out << "  " << movie.path << ": " << VerdictText(VerdictOf(report, movie)) << "\n    "
        << DescribeMovie(movie) << "\n";
    if (movie.drew_nothing) out << "    drew nothing: every pixel has one colour\n";
    if (!movie.not_played.empty()) out << "    not played: " << movie.not_played << "\n";
    if (const auto& p = movie.play) {
      out << "    played for " << p->seconds
          << " s: " << (p->ran ? "it ran" : "it drew nothing and said nothing")
          << "; ExternalInterface requests: " << CountsText(p->requests)
          << "; fscommands: " << CountsText(p->fscommands) << "\n"
          << "    missing files: " << List(p->missing_files, "      ");
      if (!p->failures.empty()) out << "    player failures: " << List(p->failures, "      ");
    }
  }
  out << "\n";
  if (!report.played) {
    out << "main.swf was not played: the course has none.\n";
  } else {
    const PlaySummary& s = report.main;
    out << "main.swf, played for " << s.seconds << " s once it had started:\n"
        << "  movie ran: " << (s.ran ? "yes" : "no (it drew nothing and said nothing)") << "\n"
        << "  ExternalInterface requests: " << CountsText(s.requests) << "\n"
        << "  fscommands: " << CountsText(s.fscommands) << "\n"
        << "  calls into the movie: " << CountsText(s.calls) << "\n"
        << "  runtime check with version.swf: "
        << (s.runtime_passes == true
                ? "passes (version " + s.runtime_version + ")"
                : "fails: " + s.runtime_problem +
                      (s.runtime_version.empty() ? std::string()
                                                 : " (version " + s.runtime_version + ")"))
        << "\n"
        << "  features the player does not support: " << CountsText(s.unsupported) << "\n"
        << "  other player warnings: " << CountsText(s.warnings) << "\n"
        << "  player errors: " << List(s.errors, "    ")
        << "  player failures: " << List(s.failures, "    ")
        << "  missing files: " << List(s.missing_files, "    ")
        << "  dialogs (answered automatically): " << List(s.dialogs, "    ")
        << "  would write: " << List(s.would_write, "    ");
    if (!s.ended.empty()) out << "  the program would have ended: " << s.ended << "\n";
  }
  const int status = ExitStatus(report);
  out << "\nResult: "
      << (status == 0   ? "every movie plays"
          : status == 1 ? "plays with warnings"
                        : "fails")
      << " (exit status " << status << ")\n";
  return out.str();
}

nlohmann::ordered_json ReportJson(const Report& report) {
  nlohmann::ordered_json out;
  out["course"] = report.course;
  out["learner_layer"] = report.learner_layer.empty()
                             ? nlohmann::ordered_json()
                             : nlohmann::ordered_json{{"folder", report.learner_layer},
                                                      {"reason", report.layer_reason}};
  out["movies"] = nlohmann::ordered_json::array();
  for (const auto& movie : report.movies) {
    const swf::MovieFileInfo& h = movie.header;
    const Verdict verdict = VerdictOf(report, movie);
    nlohmann::ordered_json m;
    m["path"] = movie.path;
    m["verdict"] = VerdictText(verdict);
    m["flash_version"] = h.flash_version;
    m["actionscript"] = h.as3 ? nlohmann::ordered_json(*h.as3 ? "3" : "1/2") : nullptr;
    m["compression"] = swf::CompressionName(h.compression);
    m["width"] = h.width ? nlohmann::ordered_json(*h.width) : nullptr;
    m["height"] = h.height ? nlohmann::ordered_json(*h.height) : nullptr;
    m["frame_rate"] = h.frame_rate ? nlohmann::ordered_json(*h.frame_rate) : nullptr;
    m["frame_count"] = h.frame_count ? nlohmann::ordered_json(*h.frame_count) : nullptr;
    m["problem"] = !movie.read_error.empty() ? movie.read_error : h.problem;
    m["pictures"] = nlohmann::ordered_json::array();
    for (const Picture& picture : movie.pictures) {
      m["pictures"].push_back({{"file", picture.file}, {"caption", picture.caption}});
    }
    m["drew_nothing"] = movie.drew_nothing;
    if (const auto& p = movie.play) {
      m["play"] = {{"seconds", p->seconds},
                   {"ran", p->ran},
                   {"requests", p->requests},
                   {"fscommands", p->fscommands},
                   {"missing_files", p->missing_files},
                   {"warnings", p->warnings},
                   {"errors", p->errors},
                   {"failures", p->failures}};
    } else {
      m["play"] = nullptr;
    }
    if (!movie.not_played.empty()) m["not_played"] = movie.not_played;
    out["movies"].push_back(m);
  }
  if (report.played) {
    const PlaySummary& s = report.main;
    nlohmann::ordered_json p;
    p["seconds"] = s.seconds;
    p["ran"] = s.ran;
    p["requests"] = s.requests;
    p["fscommands"] = s.fscommands;
    p["calls"] = s.calls;
    p["runtime_check"] = {{"passes", s.runtime_passes.value_or(false)},
                          {"version", s.runtime_version},
                          {"problem", s.runtime_problem}};
    p["unsupported"] = s.unsupported;
    p["warnings"] = s.warnings;
    p["errors"] = s.errors;
    p["failures"] = s.failures;
    p["missing_files"] = s.missing_files;
    p["dialogs"] = s.dialogs;
    p["would_write"] = s.would_write;
    p["ended"] = s.ended;
    out["main"] = p;
  } else {
    out["main"] = nullptr;
  }
  out["exit_status"] = ExitStatus(report);
  return out;
}

}  // namespace qm::check
