// The standalone player "FlashPlayer.exe" of the course folder: plays the movie named by
// its parameter text in a window of its own, scaled to show all of it, with the movie's
// file name as the title. The shell starts it for every ".swf" it is asked to open.
// Installed, it lies in lib/quillmere/ and finds its data in share/quillmere/.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "player/movie_file.h"
#include "posix/learner_layer.h"
#include "qt/course_check_run.h"
#include "qt/flash_widget.h"
#include "qt/web_engine_host.h"
#include "text/codepage.h"
#include "trace/tracing_ports.h"

namespace {

constexpr char kProgramName[] = "FlashPlayer";
constexpr int kDefaultWidth = 550, kDefaultHeight = 400;  // a movie without a readable stage

int Refuse(const QString& message) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, qPrintable(message));
  QMessageBox box(QMessageBox::Critical, kProgramName, message, QMessageBox::Ok);
  box.exec();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A movie of a course played over the learner's layer sees it as the course does.
  qm::UseLearnerLayer(qm::LayerFromEnvironment());
  qm::qt::PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  qm::qt::WebEngineHostStarted();
  app.setApplicationName(kProgramName);

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);  // Qt's own options removed
  // Options come first; everything after them is the parameter text.
  std::string codepage;
  std::string trace_path;
  while (!arguments.empty() && arguments.front().rfind("--", 0) == 0) {
    const std::string option = arguments.front();
    arguments.erase(arguments.begin());
    if (option == "--help") {
      std::printf(
          "Usage: %s [--codepage NAME] [--trace FILE] MOVIE\n"
          "Plays the Flash movie MOVIE (a .swf file) in a window of its own.\n"
          "  --codepage NAME  the code page of a MOVIE path that is not UTF-8 (e.g. CP936)\n"
          "  --trace FILE     write the movie's calls, fscommands and the player's warnings\n"
          "                   to FILE, one JSON line per event\n"
          "  --help           show this help and exit\n"
          "  --version        show the version and exit\n",
          kProgramName);
      return 0;
    }
    if (option == "--version") {
      std::printf("%s (quillmere) %s\n", kProgramName, QM_VERSION);
      return 0;
    }
    if (option == "--codepage" && !arguments.empty()) {
      codepage = arguments.front();
      arguments.erase(arguments.begin());
      continue;
    }
    if (option == "--trace" && !arguments.empty()) {
      trace_path = arguments.front();
      arguments.erase(arguments.begin());
      continue;
    }
    if (option == "--") break;
    std::fprintf(stderr, "%s: unknown option %s\n", kProgramName, option.c_str());
    return 2;
  }
  std::unique_ptr<qm::trace::TraceFile> trace_file;
  if (!trace_path.empty()) {
    try {
      trace_file = std::make_unique<qm::trace::TraceFile>(trace_path);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", kProgramName, e.what());
      return 2;
    }
  }
  std::string parameter = qm::player::ParameterText(arguments);
  if (!codepage.empty()) {
    try {
      parameter = qm::player::ParameterInUtf8(parameter, qm::text::CodePage(codepage));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: unknown code page %s: %s\n", kProgramName, codepage.c_str(),
                   e.what());
      return 2;
    }
  }
  if (parameter.empty()) {
    return Refuse("No movie was named. Start the player with the path of a .swf movie.");
  }
  const auto movie = qm::player::FindMovie(parameter);
  if (!movie) {
    return Refuse("The movie could not be found:\n" + QString::fromStdString(parameter));
  }
  const QString path = QString::fromStdString(movie->string());

  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Refuse("The movie could not be read:\n" + path + "\n" + file.errorString());
  }
  const QByteArray bytes = file.readAll();
  file.close();
  const std::string_view movie_bytes(bytes.constData(), bytes.size());
  if (const auto problem = qm::player::MovieProblem(movie_bytes)) {
    return Refuse("The movie cannot be played:\n" + path + "\n" + QString::fromStdString(*problem));
  }
  const auto stage = qm::player::ReadStageSize(movie_bytes.substr(0, qm::player::kHeadBytes));

  QWidget window;
  window.setWindowTitle(QString::fromStdString(movie->filename().string()));
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* flash = new qm::qt::FlashWidget(qm::qt::FlashWidget::Scale::kShowAll, &window);
  layout->addWidget(flash);

  // The window opens at the movie's own size, made smaller when the screen is.
  QSize size = stage ? QSize(stage->width, stage->height) : QSize(kDefaultWidth, kDefaultHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableSize());
  }
  window.resize(size);

  // With --trace, the control's events pass through the trace on their way.
  std::unique_ptr<qm::trace::TraceWriter> trace;
  std::unique_ptr<qm::trace::TracingFlashControl> traced;
  if (trace_file) {
    trace = std::make_unique<qm::trace::TraceWriter>(
        [&trace_file](const std::string& line) { trace_file->WriteLine(line); },
        &qm::trace::TraceWriter::SteadyMilliseconds);
    qm::qt::TracePlayerEvents(*flash, "player", *trace);
    traced = std::make_unique<qm::trace::TracingFlashControl>(*flash, "player", *trace);
  }
  qm::IFlashControl& control = traced ? *traced : static_cast<qm::IFlashControl&>(*flash);

  // The standalone projector's own commands; everything else the movie says is ignored.
  control.OnFSCommand([&window](const std::u16string& command, const std::u16string& argument) {
    const QString name = QString::fromStdU16String(command).toLower();
    const QString value = QString::fromStdU16String(argument).toLower();
    if (name == "quit") {
      QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
    } else if (name == "fullscreen") {
      const bool on = value == "true" || value == "1";
      QMetaObject::invokeMethod(
          &window, [&window, on] { on ? window.showFullScreen() : window.showNormal(); },
          Qt::QueuedConnection);
    }
  });

  // A movie the player gives up on, or a player whose process ends, ends the window with
  // a message instead of leaving it blank.
  int status = 0;
  control.OnFailure([&](qm::IFlashControl::Failure failure, const std::u16string& detail) {
    const QString what = failure == qm::IFlashControl::Failure::kProcessLost
                             ? QStringLiteral("The movie stopped unexpectedly:\n")
                             : QStringLiteral("The movie cannot be played:\n");
    status = Refuse(what + path + "\n" + QString::fromStdU16String(detail));
    window.close();
  });

  window.show();
  control.SetMovie(path.toStdU16String());
  const int ended = app.exec();
  return status != 0 ? status : ended;
}
