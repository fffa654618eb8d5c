// The course check's pictures and its plays of the course's other movies: what a movie
// showed, saved as PNG files beside the report page, and each lesson movie played on its
// own for a short time, off-screen, with what it asked for and the files it missed.
#pragma once

#include <QImage>
#include <filesystem>
#include <functional>
#include <string>

#include "check/course_check.h"
#include "trace/trace_writer.h"

class QWidget;

namespace qm::qt {

// Whether every pixel of `image` has one colour (a null image counts as one).
bool OneColour(const QImage& image);

// The report's folder, where the pictures of the movies go.
class PictureFolder {
 public:
  explicit PictureFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // Saves what `widget` shows as a picture of `movie` taken at `caption`; a movie whose
  // every picture has one colour drew nothing. A picture that cannot be saved is left
  // out of the report.
  void Take(QWidget& widget, check::MovieFile& movie, const std::string& caption);

 private:
  std::filesystem::path folder_;
  int count_ = 0;
};

// While it lives, every load of a movie's own that finds no file is written to `trace`
// as {"event": "missing", "control": "flash1", "path"}, the path relative to `course`.
class MissingFilesTraced {
 public:
  MissingFilesTraced(trace::TraceWriter& trace, std::filesystem::path course);
  ~MissingFilesTraced();
  MissingFilesTraced(const MissingFilesTraced&) = delete;
  MissingFilesTraced& operator=(const MissingFilesTraced&) = delete;
};

// The movies of the course other than main.swf and the version movie, each played on
// its own from the course copy `copy` for `seconds` once it has started (and for
// kMoviesLimitSeconds at most for all of them), with a picture at the end. A movie
// whose file the check found unplayable is not played.
constexpr int kMoviesLimitSeconds = 60;
// `exists` tells whether a course path a movie asks the shell for is there.
void PlayOtherMovies(const std::filesystem::path& copy, int seconds, check::Report& report,
                     PictureFolder& pictures,
                     const std::function<bool(const std::string&)>& exists);

}  // namespace qm::qt
