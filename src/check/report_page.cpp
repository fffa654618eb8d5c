// The course check's report as a page to open in a browser: one HTML file, its style
// inline, no scripts, and nothing from outside but the movies' pictures beside it.
#include <cctype>
#include <sstream>

#include "check/course_check.h"

namespace qm::check {

namespace {

std::string Html(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A file name as a relative URL: every byte outside the unreserved set escaped.
std::string UrlOfFile(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

const char* VerdictClass(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPlays:
      return "plays";
    case Verdict::kWarnings:
      return "warnings";
    case Verdict::kFails:
      break;
  }
  return "fails";
}

void Row(std::ostringstream& out, const std::string& name, const std::string& value) {
  out << "<tr><th>" << Html(name) << "</th><td>" << Html(value) << "</td></tr>\n";
}

void ListRow(std::ostringstream& out, const std::string& name,
             const std::vector<std::string>& items) {
  out << "<tr><th>" << Html(name) << "</th><td>";
  if (items.empty()) {
    out << "none";
  } else {
    out << "<ul>";
    for (const auto& item : items) out << "<li>" << Html(item) << "</li>";
    out << "</ul>";
  }
  out << "</td></tr>\n";
}

void Pictures(std::ostringstream& out, const MovieFile& movie) {
  if (movie.pictures.empty()) return;
  out << "<div class=\"pictures\">\n";
  for (const Picture& picture : movie.pictures) {
    out << "<figure><img src=\"" << UrlOfFile(picture.file) << "\" alt=\""
        << Html(movie.path + ", " + picture.caption) << "\"><figcaption>" << Html(picture.caption)
        << "</figcaption></figure>\n";
  }
  out << "</div>\n";
}

void MainPlay(std::ostringstream& out, const PlaySummary& s) {
  Row(out, "played",
      std::to_string(s.seconds) + " s once it had started; " +
          (s.ran ? "it ran" : "it drew nothing and said nothing"));
  Row(out, "ExternalInterface requests", CountsText(s.requests));
  Row(out, "fscommands", CountsText(s.fscommands));
  Row(out, "calls into the movie", CountsText(s.calls));
  Row(out, "runtime check with version.swf",
      s.runtime_passes == true ? "passes (version " + s.runtime_version + ")"
                               : "fails: " + s.runtime_problem);
  Row(out, "features the player does not support", CountsText(s.unsupported));
  Row(out, "other player warnings", CountsText(s.warnings));
  ListRow(out, "player errors", s.errors);
  ListRow(out, "player failures", s.failures);
  ListRow(out, "missing files", s.missing_files);
  ListRow(out, "dialogs (answered automatically)", s.dialogs);
  ListRow(out, "would write", s.would_write);
  if (!s.ended.empty()) Row(out, "the program would have ended", s.ended);
}

void OwnPlay(std::ostringstream& out, const PlaySummary& s) {
  Row(out, "played",
      std::to_string(s.seconds) + " s on its own; " +
          (s.ran ? "it ran" : "it drew nothing and said nothing"));
  Row(out, "ExternalInterface requests", CountsText(s.requests));
  Row(out, "fscommands", CountsText(s.fscommands));
  Row(out, "player warnings", CountsText(s.warnings));
  ListRow(out, "player errors", s.errors);
  ListRow(out, "player failures", s.failures);
  ListRow(out, "missing files", s.missing_files);
}

}  // namespace

std::string ReportPage(const Report& report) {
  const int status = ExitStatus(report);
  const Verdict overall = static_cast<Verdict>(status);
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>Course check: " << Html(report.course) << "</title>\n"
      << "<style>\n"
         "body{font:15px/1.45 sans-serif;margin:2em auto;max-width:70em;color:#222;"
         "padding:0 1em}\n"
         "h1{font-size:1.6em}h2{font-size:1.25em;margin:0 0 .3em}\n"
         "section{border:1px solid #ccd;border-radius:6px;padding:1em;margin:1.2em 0}\n"
         ".verdict{display:inline-block;padding:.1em .6em;border-radius:1em;font-size:.85em;"
         "color:#fff;vertical-align:middle}\n"
         ".plays{background:#2b7a3d}.warnings{background:#b36b00}.fails{background:#b3261e}\n"
         ".facts{color:#555;margin:.2em 0 .8em}.warning{color:#b36b00;font-weight:bold}\n"
         ".pictures{display:flex;flex-wrap:wrap;gap:1em;margin:.5em 0}\n"
         "figure{margin:0}figure img{max-width:100%;width:480px;border:1px solid #999;"
         "background:repeating-conic-gradient(#eee 0 25%,#fff 0 50%) 0 0/16px 16px}\n"
         "figcaption{font-size:.85em;color:#555}\n"
         "table{border-collapse:collapse}th{text-align:left;font-weight:normal;color:#555;"
         "padding:.15em 1em .15em 0;vertical-align:top}td{padding:.15em 0}\n"
         "ul{margin:0;padding-left:1.2em}\n"
         "</style>\n</head>\n<body>\n"
      << "<h1>Course check</h1>\n<p>Course: <code>" << Html(report.course) << "</code><br>"
      << "Learner's files: "
      << (report.learner_layer.empty()
              ? std::string("in the course folder (it is writable)")
              : Html(report.learner_layer + " (" + report.layer_reason + ")"))
      << "</p>\n<p>Result: <span class=\"verdict " << VerdictClass(overall) << "\">"
      << (status == 0   ? "every movie plays"
          : status == 1 ? "plays with warnings"
                        : "fails")
      << "</span> (exit status " << status << ")</p>\n";
  if (report.movies.empty()) out << "<p>The course folder holds no movie.</p>\n";
  for (const MovieFile& movie : report.movies) {
    const Verdict verdict = VerdictOf(report, movie);
    out << "<section>\n<h2>" << Html(movie.path) << " <span class=\"verdict "
        << VerdictClass(verdict) << "\">" << Html(VerdictText(verdict)) << "</span></h2>\n"
        << "<p class=\"facts\">" << Html(DescribeMovie(movie)) << "</p>\n";
    Pictures(out, movie);
    if (movie.drew_nothing) {
      out << "<p class=\"warning\">Drew nothing: every pixel has one colour.</p>\n";
    }
    if (!movie.not_played.empty()) {
      out << "<p>Not played: " << Html(movie.not_played) << "</p>\n";
    }
    const bool main = IsMainMovie(movie) && report.played;
    if (main || movie.play) {
      out << "<table>\n";
      if (main) {
        MainPlay(out, report.main);
      } else {
        OwnPlay(out, *movie.play);
      }
      out << "</table>\n";
    }
    out << "</section>\n";
  }
  if (!report.played) out << "<p>main.swf was not played: the course has none.</p>\n";
  out << "</body>\n</html>\n";
  return out.str();
}

}  // namespace qm::check
