// A movie's "loadfile" and "savefile" as full FlashCall round trips through the shell
// (UTF-16 request in, code-page conversion, XML reading, the file operation, UTF-16 reply
// out), against the plain C++ read and write of the same file in the same run.
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

namespace {

namespace fs = std::filesystem;
using namespace qm;

const std::string kContent = "Lesson 3: My family. Score 87, time 12:40, answers ABCDAB";

struct Shell : headless::ScriptedPlatform {
  Shell() {
    text::SetAnsiCodePage("UTF-8");
    dir = fs::temp_directory_path() / ("qm-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    std::ofstream(dir / "data" / "progress.txt", std::ios::binary) << kContent << "\r\n";
    files = std::make_unique<StdFileSystem>(text::Ansi());
    course = std::make_unique<CourseShell>(
        CoursePorts{flash1, flashversion, windows, dialogs, shell, *files, process},
        dir.string() + "/", "Bench");
  }
  ~Shell() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir;
  std::unique_ptr<StdFileSystem> files;
  std::unique_ptr<CourseShell> course;
};

Shell& TheShell() {
  static Shell shell;
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

void BM_FlashCallLoad(benchmark::State& state) {
  Shell& shell = TheShell();
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

void BM_FlashCallSave(benchmark::State& state) {
  Shell& shell = TheShell();
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

BENCHMARK(BM_PlainLoad);
BENCHMARK(BM_FlashCallLoad);
BENCHMARK(BM_PlainSave);
BENCHMARK(BM_FlashCallSave);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred) {
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
  benchmark::Shutdown();
  return 0;
}
