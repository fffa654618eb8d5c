// Figures of the Flash control on Ruffle, with baselines from the same run:
//   - the movie's ExternalInterface round trip ("loadfile" of a small file, 1000 calls
//     in a loop inside the movie) against the same request handed straight to
//     flash1FlashCall;
//   - CallFunction round trip;
//   - start-up from process start to the movie's first fscommand (cold, then warm);
//   - PSS of the process tree (the web engine's helper processes included).
// Run it under a display (xvfb-run) with QTWEBENGINE_DISABLE_SANDBOX=1 as root.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/course_shell.h"
#include "headless/scripted_ports.h"
#include "posix/std_file_system.h"
#include "process_tree.h"
#include "qt/flash_widget.h"
#include "qt/qt_loop.h"
#include "qt/web_engine_host.h"
#include "text/codepage.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qm::qt::FlashWidget;

constexpr int kCalls = 1000;
const char* const kLoadFile =
    "<invoke name=\"loadfile\" returntype=\"xml\"><arguments><string>data/a.txt</string>"
    "</arguments></invoke>";

bool RunUntil(const std::function<bool()>& done, int guard_ms = 120000) {
  return qm::testing::QtLoop::RunUntil(done, guard_ms);
}

struct Stats {
  double p50 = 0, p99 = 0, mean = 0;
};

Stats Summarise(std::vector<double> us) {
  Stats s;
  if (us.empty()) return s;
  std::sort(us.begin(), us.end());
  s.p50 = us[us.size() / 2];
  s.p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  double total = 0;
  for (double v : us) total += v;
  s.mean = total / static_cast<double>(us.size());
  return s;
}

void Print(const char* what, const Stats& s) {
  std::printf("%-44s p50 %8.1f us   p99 %8.1f us   mean %8.1f us\n", what, s.p50, s.p99, s.mean);
}

// The child of the start-up figure: show the course movie, print when its first
// fscommand arrives, end.
int StartupChild(const QString& movie) {
  QElapsedTimer since_main;
  since_main.start();
  FlashWidget flash(FlashWidget::Scale::kNoScaleTopLeft);
  bool seen = false;
  flash.OnFSCommand([&](const std::u16string&, const std::u16string&) {
    if (seen) return;
    seen = true;
    std::printf("first-fscommand %lld ms after main\n",
                static_cast<long long>(since_main.elapsed()));
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QApplication::quit);
  });
  flash.resize(400, 200);
  flash.show();
  flash.SetMovie(movie.toStdU16String());
  return QApplication::exec();
}

double StartupSeconds(const QString& self, const QString& movie) {
  QProcess child;
  QElapsedTimer clock;
  clock.start();
  child.start(self, {"--startup-child", movie});
  if (!child.waitForStarted()) return -1;
  QByteArray out;
  while (!out.contains("first-fscommand")) {
    if (!child.waitForReadyRead(60000)) return -1;
    out += child.readAllStandardOutput();
  }
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  child.waitForFinished(30000);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsSet("QM_FLASH_TRACE")) {
    std::fprintf(stderr, "qm-trace main %lld\n",
                 static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
  }
  qm::qt::PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  qm::qt::WebEngineHostStarted();
  if (argc == 3 && std::string(argv[1]) == "--startup-child") {
    return StartupChild(QString::fromLocal8Bit(argv[2]));
  }

  qm::text::SetAnsiCodePage("UTF-8");
  const fs::path dir = fs::temp_directory_path() / ("qm-flash-bench-" + std::to_string(getpid()));
  fs::create_directories(dir / "data");
  fs::copy_file(QM_MOVIES_DIR "/bridge_as3.swf", dir / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", dir / "version.swf");
  std::ofstream(dir / "data" / "a.txt") << "hello\r\n";
  const std::string app_dir = dir.string() + "/";

  // The shell with the real control.
  qm::headless::Journal journal;
  FlashWidget flash1(FlashWidget::Scale::kNoScaleTopLeft);
  FlashWidget flashversion(FlashWidget::Scale::kShowAll);
  qm::headless::ManualWindowSystem windows(journal);
  qm::headless::ScriptedDialogs dialogs(journal);
  qm::headless::RecordingShell shell(journal);
  qm::headless::ScriptedProcess process(journal);
  qm::StdFileSystem files(qm::text::Ansi());
  qm::CourseShell course({flash1, flashversion, windows, dialogs, shell, files, process}, app_dir,
                         "bench");
  qm::TForm1& form = course.Form1;

  std::vector<Clock::time_point> arrivals;
  bool done = false;
  flash1.OnFSCommand([&](const std::u16string& command, const std::u16string&) {
    if (command == u"done") done = true;
  });
  flash1.OnFlashCall([&](const std::u16string& request) {
    arrivals.push_back(Clock::now());
    form.Boundary().Run([&] { form.flash1FlashCall(request); });
  });
  flash1.resize(400, 200);
  flash1.show();
  form.FormCreate();
  if (!RunUntil([&] { return done; })) {
    std::fprintf(stderr, "the movie did not start\n");
    return 1;
  }

  // The movie's loop: time between successive arrivals of its calls is one full round
  // trip (movie -> page -> shell -> reply -> movie -> next call).
  arrivals.clear();
  const std::u16string bench_call =
      u"<invoke name=\"bench\" returntype=\"xml\"><arguments><number>" +
      QString::number(kCalls).toStdU16String() + u"</number></arguments></invoke>";
  const std::u16string movie_ms = flash1.CallFunction(bench_call);
  std::vector<double> movie_us;
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    movie_us.push_back(
        std::chrono::duration<double, std::micro>(arrivals[i] - arrivals[i - 1]).count());
  }

  // Baseline: the same request handed straight to the handler (scripted control).
  qm::headless::ScriptedFlashControl scripted1(journal), scripted2(journal);
  qm::CourseShell direct({scripted1, scripted2, windows, dialogs, shell, files, process}, app_dir,
                         "bench");
  const std::u16string request = QString::fromLatin1(kLoadFile).toStdU16String();
  std::vector<double> direct_us;
  for (int i = 0; i < kCalls; ++i) {
    const auto start = Clock::now();
    scripted1.Call(request);
    direct_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }

  // CallFunction round trip.
  std::vector<double> call_us;
  const std::u16string echo =
      u"<invoke name=\"echo\" "
      u"returntype=\"xml\"><arguments><string>x</string></arguments></invoke>";
  for (int i = 0; i < kCalls; ++i) {
    const auto start = Clock::now();
    flash1.CallFunction(echo);
    call_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }

  const Stats movie = Summarise(movie_us), straight = Summarise(direct_us),
              call = Summarise(call_us);
  std::printf("ExternalInterface \"loadfile\", %d calls (movie's own timer: %s ms in all)\n",
              kCalls, QString::fromStdU16String(movie_ms).toUtf8().constData());
  Print("  inside the movie (Ruffle, round trip)", movie);
  Print("  straight into flash1FlashCall (baseline)", straight);
  std::printf("  ratio movie/baseline: p50 %.1fx, p99 %.1fx\n", movie.p50 / straight.p50,
              movie.p99 / straight.p99);
  Print("CallFunction round trip (\"echo\")", call);
  std::printf("  ratio CallFunction/ExternalInterface p50: %.2fx\n", call.p50 / movie.p50);
  std::printf("PSS of the process tree, two controls with movies: %.1f MB\n",
              qm::bench::TreePssMb(QCoreApplication::applicationPid()));

  const QString self = QCoreApplication::applicationFilePath();
  const QString main_movie = QString::fromStdString(app_dir + "main.swf");
  std::vector<double> starts;
  for (int i = 0; i < 3; ++i) starts.push_back(StartupSeconds(self, main_movie));
  std::printf("start-up, process start to first fscommand: cold %.2f s, warm %.2f s, %.2f s\n",
              starts[0], starts[1], starts[2]);
  std::printf("  ratio warm/cold: %.2f\n", starts[2] / starts[0]);
  fs::remove_all(dir);
  return 0;
}
