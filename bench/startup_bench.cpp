// Start-up and idle figures of the Flash control, each from fresh processes:
//   - start-up from process start to the movie's first fscommand and to its first
//     drawn frame (the movie reports "drawn" on its second frame, after the first one
//     was drawn), cold (a fresh cache folder) and warm (the same folder again);
//   - CPU time the process tree spent up to the first fscommand;
//   - PSS of the process tree with the movie shown;
//   - CPU of the process tree over 10 s with a movie that stands still, and with one
//     that keeps moving (the moving one must keep costing: frames are drawn).
//   - the steps of a warm start-up, from the milestones the page and the control report;
//   - the same host with a bare page and no Ruffle: what the web engine alone costs.
// Run it under a display (xvfb-run) with QTWEBENGINE_DISABLE_SANDBOX=1 as root.
//   bench_startup [runs]             the figures above (default 5 warm runs)
//   bench_startup --program EXE DIR  the same start-up and idle figures for a whole
//                                    program started in DIR (first frame: the window
//                                    shows something other than the background),
//                                    against one control with a still movie and one
//                                    with DIR's main.swf
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "process_tree.h"
#include "qt/flash_widget.h"
#include "qt/qt_loop.h"
#include "qt/web_engine_host.h"

namespace {

using qm::bench::TreeCpu;

namespace fs = std::filesystem;
using qm::qt::FlashWidget;

constexpr int kSettleSeconds = 20;
constexpr int kIdleSeconds = 10;

void RunFor(int ms) {
  qm::testing::QtLoop::RunFor(ms);
}

// A child's figures once its page stands still: PSS, then CPU over kIdleSeconds.
void ReportStill() {
  // The page settles, and the host gives back what the start-up freed (3 s after the
  // first frame).
  RunFor(5000);
  const auto table = qm::bench::TreePssTable(getpid());
  std::printf("pss %.1f\n", qm::bench::TotalPssMb(table));
  for (const auto& process : table) {
    std::printf("process-pss %.1f %s\n", process.pss_mb, process.role.c_str());
  }
  const double before = TreeCpu(getpid());
  QElapsedTimer clock;
  clock.start();
  RunFor(kIdleSeconds * 1000);
  const double cpu = TreeCpu(getpid()) - before;
  std::printf("idle %.1f\n", 100.0 * cpu / (static_cast<double>(clock.elapsed()) / 1000.0));
}

// The child: one control showing `movie`; reports its milestones on stdout. `mode`:
// "-" up to the movie's "drawn" fscommand, "idle" then its figures standing still,
// "settled" any movie: its first frame, then its figures once it has settled as long as
// the program does in Program().
int Child(const QString& movie, const QString& mode) {
  FlashWidget flash(FlashWidget::Scale::kNoScaleTopLeft);
  bool ready = false, drawn = false;
  if (mode == "settled") {
    flash.OnPlayerEvent([&](const QString& kind, const QString&) {
      if (kind == "first_frame") ready = drawn = true;
    });
  }
  flash.OnFSCommand([&](const std::u16string& command, const std::u16string&) {
    if (!ready) {
      ready = true;
      std::printf("fscommand cpu %.3f\n", TreeCpu(getpid()));
    }
    if (command == u"drawn" && !drawn) {
      drawn = true;
      std::printf("drawn\n");
    }
    std::fflush(stdout);
  });
  flash.resize(1024, 652);
  flash.show();
  flash.SetMovie(movie.toStdU16String());
  QElapsedTimer guard;
  guard.start();
  while (!(ready && drawn) && guard.elapsed() < 60000) RunFor(5);
  if (mode == "settled") {
    std::printf("fscommand cpu %.3f\ndrawn\n", TreeCpu(getpid()));
    std::fflush(stdout);
    RunFor(kSettleSeconds * 1000);
  }
  if (mode != "-") ReportStill();
  std::fflush(stdout);
  return 0;
}

// The child with a bare page instead: a line of text on a coloured background, no
// Ruffle. "drawn" once the page has had two animation frames.
class BarePage : public QWebEnginePage {
 public:
  bool drawn = false;

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override {
    if (message == "bare-drawn") drawn = true;
  }
};

int BareChild(bool idle) {
  QWebEngineView view;
  BarePage page;
  view.setPage(&page);
  view.resize(1024, 652);
  view.show();
  page.setHtml(
      "<html><body style='margin:0;background:#36a'><p style='font:14px sans-serif'>Aa "
      "\u4e2d\u6587 0123</p><script>requestAnimationFrame(() => requestAnimationFrame(() "
      "=> console.log('bare-drawn')))</script></body></html>");
  QElapsedTimer guard;
  guard.start();
  while (!page.drawn && guard.elapsed() < 60000) RunFor(5);
  std::printf("fscommand cpu %.3f\ndrawn\n", TreeCpu(getpid()));
  if (idle) ReportStill();
  std::fflush(stdout);
  return 0;
}

struct Run {
  double to_fscommand_s = -1, to_drawn_s = -1, cpu_s = -1, pss_mb = -1, idle_pct = -1;
  std::vector<qm::bench::ProcessPss> pss_table;  // with the PSS, by process
  // Start-up milestones ("page-script", "fetch-end device.ttf", ...): seconds from the
  // process start, each at its first report.
  std::vector<std::pair<std::string, double>> steps;
};

// Reads the milestones "qm-trace WHAT [WHERE] MS" that a child writes with
// QM_FLASH_TRACE set; WHERE is shortened to its file name.
std::vector<std::pair<std::string, double>> Steps(const QByteArray& log, qint64 started_ms) {
  std::vector<std::pair<std::string, double>> steps;
  for (const QByteArray& line : log.split('\n')) {
    QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() < 3 || words.front() != "qm-trace") continue;
    const double at = static_cast<double>(words.back().toLongLong() - started_ms) / 1000.0;
    std::string what = words[1].toStdString();
    if (words.size() > 3) what += " " + words[2].mid(words[2].lastIndexOf('/') + 1).toStdString();
    const bool seen = std::any_of(steps.begin(), steps.end(),
                                  [&](const auto& step) { return step.first == what; });
    if (!seen) steps.emplace_back(what, at);
  }
  return steps;
}

// Starts a child and reads its milestones; times are from the start of the process.
Run Measure(const QString& self, const QStringList& args, const QString& cache_home) {
  Run run;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CACHE_HOME", cache_home);
  env.insert("QM_FLASH_TRACE", "1");
  child.setProcessEnvironment(env);
  QElapsedTimer clock;
  clock.start();
  const qint64 started_ms = QDateTime::currentMSecsSinceEpoch();
  child.start(self, args);
  if (!child.waitForStarted()) return run;
  QByteArray pending;
  while (child.state() != QProcess::NotRunning || child.canReadLine()) {
    if (!child.canReadLine() && !child.waitForReadyRead(120000)) break;
    while (child.canReadLine()) {
      const QByteArray line = child.readLine().trimmed();
      const double at = static_cast<double>(clock.nsecsElapsed()) / 1e9;
      const QList<QByteArray> words = line.split(' ');
      if (line.startsWith("fscommand")) {
        run.to_fscommand_s = at;
        run.cpu_s = words.value(2).toDouble();
      } else if (line.startsWith("drawn")) {
        run.to_drawn_s = at;
      } else if (line.startsWith("process-pss")) {
        run.pss_table.push_back({0,
                                 QString::fromUtf8(line).section(QLatin1Char(' '), 2).toStdString(),
                                 words.value(1).toDouble()});
      } else if (line.startsWith("pss")) {
        run.pss_mb = words.value(1).toDouble();
      } else if (line.startsWith("idle")) {
        run.idle_pct = words.value(1).toDouble();
      }
    }
  }
  child.waitForFinished(30000);
  run.steps = Steps(child.readAllStandardError(), started_ms);
  return run;
}

// Milestones of several runs, in the order of the first run that reported them.
using StepRuns = std::vector<std::pair<std::string, std::vector<double>>>;

void AddSteps(StepRuns& all, const std::vector<std::pair<std::string, double>>& run) {
  for (const auto& [what, at] : run) {
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& s) { return s.first == what; });
    if (it == all.end()) it = all.insert(all.end(), {what, {}});
    it->second.push_back(at);
  }
}

struct Range {
  double min = 0, median = 0, max = 0;
};

// The median of an even number of runs is the upper of the two middle ones: a run that
// happened, whose per-process table can be shown.
Range RangeOf(std::vector<double> v) {
  if (v.empty()) return {};
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2], v.back()};
}

void PrintRange(const char* what, const std::vector<double>& v, const char* unit) {
  const Range r = RangeOf(v);
  std::printf("%-46s min %7.2f  median %7.2f  max %7.2f %s\n", what, r.min, r.median, r.max, unit);
}

void PrintSteps(const StepRuns& steps) {
  for (const auto& [what, at] : steps) {
    std::printf("    %-40s %6.2f s\n", what.c_str(), RangeOf(at).median);
  }
}

// --- A whole program ------------------------------------------------------------------

// True once the screen shows more than a few colours (the program's window with the
// movie drawn, not just its background).
bool ScreenDrawn() {
  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  std::map<QRgb, int> colours;
  for (int y = 0; y < shot.height(); y += 7) {
    for (int x = 0; x < shot.width(); x += 7) {
      ++colours[shot.pixel(x, y)];
      if (colours.size() > 8) return true;
    }
  }
  return false;
}

// The PSS by process of the run whose total is the median.
void PrintMedianTable(const std::vector<double>& pss,
                      const std::vector<std::vector<qm::bench::ProcessPss>>& tables) {
  const double median = RangeOf(pss).median;
  for (std::size_t run = 0; run < tables.size() && run < pss.size(); ++run) {
    if (pss[run] != median) continue;
    for (const auto& process : tables[run]) {
      std::printf("    %-40s %7.1f MB\n", process.role.c_str(), process.pss_mb);
    }
    return;
  }
}

int Program(const QString& exe, const QString& dir, int runs) {
  QTemporaryDir cache;
  std::vector<double> drawn, pss, idle;
  std::vector<std::vector<qm::bench::ProcessPss>> tables;  // of each warm run
  StepRuns steps;
  const QString log = cache.filePath("program.log");
  double cold = -1;
  for (int i = 0; i <= runs; ++i) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CACHE_HOME", cache.path());
    env.insert("QM_FLASH_TRACE", "1");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(log);
    QElapsedTimer clock;
    clock.start();
    const qint64 started_ms = QDateTime::currentMSecsSinceEpoch();
    program.start(exe, {});
    if (!program.waitForStarted()) return 1;
    double at = -1;
    while (clock.elapsed() < 60000) {
      QCoreApplication::processEvents();
      if (ScreenDrawn()) {
        at = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        break;
      }
      // Looking costs a grab of the screen: without a pause, the looking would take one
      // of the machine's cores from the program it measures.
      usleep(20000);
    }
    if (i == 0) {
      cold = at;
    } else {
      drawn.push_back(at);
    }
    if (i > 0) {
      // Standing still: after the start-up's own work (the version movie starts once
      // the screen is drawn, and the runtime check reads it; the web engine goes on
      // compiling Ruffle's code in the background for a while, about 2 % of a core
      // 10-20 s after start). The renderer's memory differs from one start to the next
      // by tens of MB (what its threads' allocators keep), so every warm run counts.
      RunFor(kSettleSeconds * 1000);
      tables.push_back(qm::bench::TreePssTable(program.processId()));
      pss.push_back(qm::bench::TotalPssMb(tables.back()));
      const double before = TreeCpu(program.processId());
      RunFor(kIdleSeconds * 1000);
      idle.push_back(100.0 * (TreeCpu(program.processId()) - before) / kIdleSeconds);
    }
    program.terminate();
    if (!program.waitForFinished(10000)) program.kill();
    program.waitForFinished(5000);
    if (i > 0) {
      QFile file(log);
      std::vector<std::pair<std::string, double>> run;
      if (file.open(QIODevice::ReadOnly)) run = Steps(file.readAll(), started_ms);
      run.emplace_back("screen drawn", at);
      AddSteps(steps, run);
    }
  }
  // The baseline, in the same run: one Flash control alone with a still movie.
  const QString self = QCoreApplication::applicationFilePath();
  const QString still = QM_BENCH_MOVIES_DIR "/still.swf";
  std::vector<double> one_drawn, one_pss, one_idle;
  for (int i = 0; i < 2; ++i) {
    one_drawn.push_back(Measure(self, {"--child", still, "-"}, cache.path()).to_drawn_s);
  }
  for (int i = 0; i < runs; ++i) {
    const Run still_run = Measure(self, {"--child", still, "idle"}, cache.path());
    one_pss.push_back(still_run.pss_mb);
    one_idle.push_back(still_run.idle_pct);
  }

  // And one control alone with the program's own movie, which no shell answers: what the
  // shell and its hidden control add to the movie's own cost.
  const QString main_movie = QDir(dir).absoluteFilePath("main.swf");
  std::vector<double> same_drawn, same_pss, same_idle;
  std::vector<std::vector<qm::bench::ProcessPss>> same_tables;
  for (int i = 0; i < runs && QFileInfo::exists(main_movie); ++i) {
    const Run run = Measure(self, {"--child", main_movie, "settled"}, cache.path());
    same_drawn.push_back(run.to_drawn_s);
    same_pss.push_back(run.pss_mb);
    same_idle.push_back(run.idle_pct);
    same_tables.push_back(run.pss_table);
  }

  std::printf("program %s\n", qPrintable(exe));
  std::printf("  start-up to the first drawn screen, cold: %.2f s\n", cold);
  PrintRange("  start-up to the first drawn screen, warm", drawn, "s");
  std::printf(
      "  steps of a warm start-up (median s from process start; the second control's\n"
      "  steps and the page's after \"movie-frame\" are the version movie's):\n");
  PrintSteps(steps);
  PrintRange("  PSS of the process tree", pss, "MB");
  const double median_pss = RangeOf(pss).median;
  PrintMedianTable(pss, tables);
  PrintRange("  idle CPU over 10 s (% of one core)", idle, "%");
  const double one = RangeOf(one_drawn).median;
  std::printf("  baseline, one control with a still movie: first frame %.2f s, idle %.1f %%\n", one,
              RangeOf(one_idle).median);
  std::printf("  ratio program warm start-up / one control's first frame: %.2f\n",
              RangeOf(drawn).median / one);
  std::printf("  ratio program idle / one still control's idle: %.2f\n",
              RangeOf(idle).median / RangeOf(one_idle).median);
  PrintRange("  baseline, one control with a still movie: PSS", one_pss, "MB");
  std::printf("  ratio program PSS / one still control's PSS (medians): %.2f\n",
              median_pss / RangeOf(one_pss).median);
  if (!same_pss.empty()) {
    PrintRange("  baseline, one control with the program's main.swf: first frame", same_drawn, "s");
    std::printf("  ratio program warm start-up / that control's first frame (medians): %.2f\n",
                RangeOf(drawn).median / RangeOf(same_drawn).median);
    // The same moment in both: the page's report of the movie's first frame (the screen
    // is found by looking, up to a grab later).
    for (const auto& [what, at] : steps) {
      if (what != "movie-frame") continue;
      std::printf("  ratio program's movie-frame / that control's first frame (medians): %.2f\n",
                  RangeOf(at).median / RangeOf(same_drawn).median);
      break;
    }
    PrintRange("  baseline, one control with the program's main.swf: PSS", same_pss, "MB");
    PrintMedianTable(same_pss, same_tables);
    PrintRange("  baseline, one control with the program's main.swf: idle", same_idle, "%");
    std::printf("  ratio program PSS / that control's PSS (medians): %.2f\n",
                median_pss / RangeOf(same_pss).median);
    std::printf("  ratio program idle / that control's idle (medians): %.2f\n",
                RangeOf(idle).median / RangeOf(same_idle).median);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qm::qt::PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  qm::qt::WebEngineHostStarted();
  const QStringList args = QCoreApplication::arguments();
  if (args.size() == 4 && args[1] == "--child") return Child(args[2], args[3]);
  if (args.size() == 3 && args[1] == "--bare") return BareChild(args[2] == "idle");
  if (args.size() >= 4 && args[1] == "--program") {
    return Program(args[2], args[3], args.size() > 4 ? args[4].toInt() : 3);
  }
  const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;

  const QString self = QCoreApplication::applicationFilePath();
  const QString still = QM_BENCH_MOVIES_DIR "/still.swf";
  const QString moving = QM_BENCH_MOVIES_DIR "/animated.swf";
  QTemporaryDir cache;
  const Run cold = Measure(self, {"--child", still, "-"}, cache.path());
  std::vector<double> warm_fs, warm_drawn, warm_cpu, bare_drawn, bare_cpu;
  StepRuns steps;
  for (int i = 0; i < runs; ++i) {
    const Run r = Measure(self, {"--child", still, "-"}, cache.path());
    warm_fs.push_back(r.to_fscommand_s);
    warm_drawn.push_back(r.to_drawn_s);
    warm_cpu.push_back(r.cpu_s);
    AddSteps(steps, r.steps);
    const Run bare = Measure(self, {"--bare", "-"}, cache.path());
    bare_drawn.push_back(bare.to_drawn_s);
    bare_cpu.push_back(bare.cpu_s);
  }
  const Run idle = Measure(self, {"--child", still, "idle"}, cache.path());
  const Run busy = Measure(self, {"--child", moving, "idle"}, cache.path());
  const Run bare_idle = Measure(self, {"--bare", "idle"}, cache.path());

  std::printf("Flash control start-up (process start to the movie), %d warm runs\n", runs);
  std::printf(
      "  cold (fresh cache folder): first fscommand %.2f s, first frame %.2f s, "
      "CPU %.2f s\n",
      cold.to_fscommand_s, cold.to_drawn_s, cold.cpu_s);
  PrintRange("  warm: first fscommand", warm_fs, "s");
  PrintRange("  warm: first frame", warm_drawn, "s");
  PrintRange("  warm: CPU time of the tree to first fscommand", warm_cpu, "s");
  std::printf("  ratio warm median / cold (first fscommand): %.2f\n",
              RangeOf(warm_fs).median / cold.to_fscommand_s);
  std::printf("  steps of a warm start-up (median s from process start):\n");
  PrintSteps(steps);
  std::printf("baseline, the same host with a bare page (no Ruffle):\n");
  PrintRange("  first frame", bare_drawn, "s");
  PrintRange("  CPU time of the tree to its first frame", bare_cpu, "s");
  std::printf("  PSS %.1f MB, idle %.1f %% of one core\n", bare_idle.pss_mb, bare_idle.idle_pct);
  std::printf("  Ruffle and the movie add: first frame +%.2f s, CPU +%.2f s, PSS +%.1f MB\n",
              RangeOf(warm_drawn).median - RangeOf(bare_drawn).median,
              RangeOf(warm_cpu).median - RangeOf(bare_cpu).median, idle.pss_mb - bare_idle.pss_mb);
  std::printf("PSS of the process tree, one control with a movie: %.1f MB\n", idle.pss_mb);
  std::printf("CPU of the process tree over %d s, %% of one core:\n", kIdleSeconds);
  std::printf("  still movie %.1f %%, moving movie %.1f %%, ratio still/moving %.2f\n",
              idle.idle_pct, busy.idle_pct, idle.idle_pct / busy.idle_pct);
  return 0;
}
