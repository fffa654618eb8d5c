#include "qt/course_check_movies.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "qt/course_check_run.h"
#include "qt/flash_scheme.h"
#include "qt/flash_widget.h"
#include "text/chars.h"
#include "trace/tracing_ports.h"

namespace qm::qt {

namespace fs = std::filesystem;

namespace {

// How long a movie of its own may take to start, beyond the seconds it plays. A movie
// that draws nothing never shows that it started, and is pictured after this.
constexpr int kMovieStartLimitSeconds = 10;

// A file name for the picture: its number, then the movie's path with its folders
// joined by "_".
std::string PictureName(int number, const std::string& movie_path) {
  std::string name = movie_path;
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ' ' || c == '#' || c == '?' || c == '%') c = '_';
  }
  return (number < 10 ? "0" : "") + std::to_string(number) + "-" + name + ".png";
}

bool IsVersionMovie(const std::string& path) {
  return text::LowerAscii(path) == "version.swf";
}

// Runs events until `done` holds or `limit_ms` have passed.
void RunUntil(const std::function<bool()>& done, qint64 limit_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < limit_ms) {
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

}  // namespace

bool OneColour(const QImage& picture) {
  if (picture.isNull()) return true;
  const QImage image = picture.convertToFormat(QImage::Format_RGB32);
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    if (std::any_of(line, line + image.width(), [first](QRgb p) { return p != first; })) {
      return false;
    }
  }
  return true;
}

void PictureFolder::Take(QWidget& widget, check::MovieFile& movie, const std::string& caption) {
  const QImage image = widget.grab().toImage();
  const std::string name = PictureName(++count_, movie.path);
  if (image.isNull() || !image.save(QString::fromStdString((folder_ / name).string()), "PNG")) {
    return;
  }
  const bool blank = OneColour(image);
  movie.drew_nothing = (movie.pictures.empty() || movie.drew_nothing) && blank;
  movie.pictures.push_back({name, caption});
}

MissingFilesTraced::MissingFilesTraced(trace::TraceWriter& trace, fs::path course) {
  FlashScheme::OnMissingFile([&trace, course = std::move(course)](const QString& path) {
    const fs::path asked(path.toStdString());
    const fs::path relative = asked.lexically_relative(course);
    const bool inside = !relative.empty() && *relative.begin() != "..";
    trace.Write("missing", {{"control", "flash1"},
                            {"path", inside ? relative.generic_string() : asked.string()}});
  });
}

MissingFilesTraced::~MissingFilesTraced() {
  FlashScheme::OnMissingFile({});
}

void PlayOtherMovies(const fs::path& copy, int seconds, check::Report& report,
                     PictureFolder& pictures,
                     const std::function<bool(const std::string&)>& exists) {
  QElapsedTimer all;
  all.start();
  for (check::MovieFile& movie : report.movies) {
    if (IsMainMovie(movie) || IsVersionMovie(movie.path) ||
        MovieVerdict(movie) == check::Verdict::kFails) {
      continue;
    }
    const qint64 left_ms = kMoviesLimitSeconds * 1000LL - all.elapsed();
    if (left_ms <= 0) {
      movie.not_played = "the check's " + std::to_string(kMoviesLimitSeconds) +
                         " s for the movies other than main.swf were used up";
      continue;
    }
    std::vector<nlohmann::json> events;
    QElapsedTimer since;
    since.start();
    qint64 started_ms = -1;
    trace::TraceWriter trace(
        [&](const std::string& line) {
          events.push_back(nlohmann::json::parse(line));
          const auto& e = events.back();
          if (started_ms < 0 && (e["event"] == "first_frame" || e["event"] == "request" ||
                                 e["event"] == "fscommand" || e["event"] == "failure")) {
            started_ms = since.elapsed();
          }
        },
        &trace::TraceWriter::SteadyMilliseconds);
    MissingFilesTraced missing(trace, copy);
    // As the standalone player shows it: the whole stage, nobody answering its calls.
    auto widget = std::make_unique<FlashWidget>(FlashWidget::Scale::kShowAll, nullptr,
                                                FlashWidget::Sound::kPlays);
    TracePlayerEvents(*widget, "flash1", trace);
    trace::TracingFlashControl control(*widget, "flash1", trace);
    control.OnFlashCall([](const std::u16string&) {});
    control.OnFSCommand([](const std::u16string&, const std::u16string&) {});
    const swf::MovieFileInfo& h = movie.header;
    widget->resize(std::clamp(h.width.value_or(550), 32, 1280),
                   std::clamp(h.height.value_or(400), 32, 1024));
    widget->show();
    control.SetMovie((copy / movie.path).u16string());
    const qint64 play_ms = std::min<qint64>(seconds * 1000LL, left_ms);
    RunUntil([&] { return started_ms >= 0 && since.elapsed() - started_ms >= play_ms; },
             std::min<qint64>(left_ms, play_ms + kMovieStartLimitSeconds * 1000LL));
    pictures.Take(*widget, movie, "after " + std::to_string(seconds) + " s");
    auto play = std::make_shared<check::PlaySummary>(check::Summarise(events, exists));
    play->seconds = static_cast<int>(play_ms / 1000);
    movie.play = std::move(play);
  }
}

}  // namespace qm::qt
