// A movie's "loadfile" and "savefile" as full FlashCall round trips through the shell
// (UTF-16 request in, code-page conversion, XML reading, the file operation, UTF-16 reply
// out), against the plain C++ read and write of the same file in the same run; and the
// same round trips with the bridge trace written to a file (--trace), against untraced.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/course_shell.h"
#include "headless/scripted_ports.h"
#include "posix/std_file_system.h"
#include "text/codepage.h"
#include "trace/tracing_ports.h"

namespace {

namespace fs = std::filesystem;
using namespace qm;

const std::string kContent = "Lesson 3: My family. Score 87, time 12:40, answers ABCDAB";

struct Shell : headless::ScriptedPlatform {
  explicit Shell(bool traced = false) {
    text::SetAnsiCodePage("UTF-8");
    dir = fs::temp_directory_path() /
          ("qm-bench-" + std::to_string(getpid()) + (traced ? "-traced" : ""));
    fs::create_directories(dir / "data");
    std::ofstream(dir / "data" / "progress.txt", std::ios::binary) << kContent << "\r\n";
    files = std::make_unique<StdFileSystem>(text::Ansi());
    IFlashControl* control = &flash1;
    IFlashControl* version = &flashversion;
    if (traced) {
      trace_file = std::make_unique<trace::TraceFile>((dir / "trace.jsonl").string());
      writer = std::make_unique<trace::TraceWriter>(
          [this](const std::string& line) { trace_file->WriteLine(line); },
          &trace::TraceWriter::SteadyMilliseconds);
      traced1 = std::make_unique<trace::TracingFlashControl>(flash1, "flash1", *writer);
      traced_version =
          std::make_unique<trace::TracingFlashControl>(flashversion, "flashversion", *writer);
      control = traced1.get();
      version = traced_version.get();
    }
    course = std::make_unique<CourseShell>(
        CoursePorts{*control, *version, windows, dialogs, shell, *files, process},
        dir.string() + "/", "Bench");
  }
  ~Shell() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir;
  std::unique_ptr<StdFileSystem> files;
  std::unique_ptr<trace::TraceFile> trace_file;
  std::unique_ptr<trace::TraceWriter> writer;
  std::unique_ptr<trace::TracingFlashControl> traced1, traced_version;
  std::unique_ptr<CourseShell> course;
};

Shell& TheShell() {
  static Shell shell;
  return shell;
}

Shell& TheTracedShell() {
  static Shell shell(true);
  return shell;
}

void BM_PlainLoad(benchmark::State& state) {
  const fs::path path = TheShell().dir / "data" / "progress.txt";
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    benchmark::DoNotOptimize(line);
  }
}

void FlashCallLoad(benchmark::State& state, Shell& shell) {
  const std::u16string request =
      u"<invoke name=\"loadfile\" returntype=\"xml\"><arguments><string>data/progress.txt"
      u"</string></arguments></invoke>";
  for (auto _ : state) {
    auto reply = shell.flash1.Call(request);
    benchmark::DoNotOptimize(reply);
  }
  if (shell.flash1.Call(request) == std::nullopt) state.SkipWithError("no reply");
}

void BM_PlainSave(benchmark::State& state) {
  const fs::path path = TheShell().dir / "data" / "plain.txt";
  for (auto _ : state) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << kContent << "\r\n";
    out.close();
    benchmark::DoNotOptimize(out.good());
  }
}

void FlashCallSave(benchmark::State& state, Shell& shell) {
  const std::u16string request =
      u"<invoke name=\"savefile\" returntype=\"xml\"><arguments><string>data/saved.txt"
      u"</string><string>" +
      text::Utf8ToUtf16(kContent) + u"</string></arguments></invoke>";
  for (auto _ : state) {
    auto reply = shell.flash1.Call(request);
    benchmark::DoNotOptimize(reply);
  }
  if (shell.flash1.Call(request) != u"<true/>") state.SkipWithError("save failed");
}

void BM_FlashCallLoad(benchmark::State& state) {
  FlashCallLoad(state, TheShell());
}
void BM_FlashCallSave(benchmark::State& state) {
  FlashCallSave(state, TheShell());
}
void BM_TracedLoad(benchmark::State& state) {
  FlashCallLoad(state, TheTracedShell());
}
void BM_TracedSave(benchmark::State& state) {
  FlashCallSave(state, TheTracedShell());
}

BENCHMARK(BM_PlainLoad);
BENCHMARK(BM_FlashCallLoad);
BENCHMARK(BM_TracedLoad);
BENCHMARK(BM_PlainSave);
BENCHMARK(BM_FlashCallSave);
BENCHMARK(BM_TracedSave);

// Whether a run ended without a time: Benchmark 1.8 replaced Run::error_occurred with
// Run::skipped (an enum whose zero is NotSkipped, also for a run skipped by the benchmark).
template <typename Run>
bool ended_without_time(const Run& run) {
  if constexpr (requires { run.skipped; }) {
    return run.skipped != decltype(run.skipped){};
  } else {
    return run.error_occurred;
  }
}

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!ended_without_time(run)) {
        ns[run.benchmark_name()] = run.GetAdjustedRealTime();
        cpu_ns[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ns;
  std::map<std::string, double> cpu_ns;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char* shell, const char* plain) {
    if (!reporter.ns.count(shell) || !reporter.ns.count(plain) || reporter.ns[plain] <= 0) return;
    std::printf("ratio %-16s / %-12s = %.2f (cpu time %.2f)\n", shell, plain,
                reporter.ns[shell] / reporter.ns[plain],
                reporter.cpu_ns[shell] / reporter.cpu_ns[plain]);
  };
  ratio("BM_FlashCallLoad", "BM_PlainLoad");
  ratio("BM_FlashCallSave", "BM_PlainSave");
  ratio("BM_TracedLoad", "BM_FlashCallLoad");
  ratio("BM_TracedSave", "BM_FlashCallSave");
  benchmark::Shutdown();
  return 0;
}
