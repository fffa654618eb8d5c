// Downloading an upgrade: a 256 MiB file from nginx on loopback, saved to disk, by our
// HTTP client (the way the update check uses it: the window's pump running after every
// read, progress events, the file written beside its place and renamed at the end) and
// by curl, in the same run. Each download runs in a process of its own, so that its
// peak memory can be read from the system. Prints the throughput ratio (ours / curl)
// and our client's peak memory.
//
//   bench_download [--size-mib N] [google benchmark flags]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "headless/scripted_ports.h"
#include "http/http_client.h"
#include "platform/host_paths.h"
#include "posix/std_file_system.h"
#include "support/nginx_server.h"
#include "text/codepage.h"

namespace {

namespace fs = std::filesystem;

struct Run {
  double seconds = 0;
  long peak_rss_kib = 0;
};

struct Setup {
  fs::path dir;
  std::string url;
  std::string self;
  std::size_t bytes = 0;
  std::unique_ptr<qm::testing::NginxServer> nginx;
  std::map<std::string, std::vector<Run>> runs;
};

Setup* g_setup = nullptr;

// The child's side: one download with our client into `file`.
int DownloadWithOurClient(const std::string& url, const std::string& file) {
  qm::text::SetAnsiCodePage("UTF-8");
  qm::headless::Journal journal;
  qm::headless::ManualWindowSystem windows(journal);
  qm::http::AntiFreeze pump(windows);
  pump.OnlyWhenIdle = false;  // as during the update check
  qm::http::HttpClient client;
  client.Pump = &pump;
  std::int64_t last = 0;
  client.OnWork = [&](qm::http::WorkMode, std::int64_t count) {
    windows.ProcessMessages();
    last = count;
  };
  qm::StdFileSystem files(qm::text::Ansi());
  struct Sink : qm::http::IBodySink {
    qm::IFileReplacement& file;
    explicit Sink(qm::IFileReplacement& f) : file(f) {}
    void Append(std::string_view bytes) override { file.Write(bytes); }
  };
  try {
    const auto replacement = files.BeginReplace(file);
    Sink sink(*replacement);
    client.Get(url, sink);
    replacement->Commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "download failed: %s\n", e.what());
    return 1;
  }
  return last > 0 ? 0 : 1;
}

// Runs `args` as a child process; its wall time and peak memory, or a zero time on failure.
Run RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  Run run;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.peak_rss_kib = usage.ru_maxrss;
  }
  return run;
}

void BM_Download(benchmark::State& state, const std::string& tool) {
  Setup& s = *g_setup;
  const std::string out = (s.dir / ("out-" + tool + ".bin")).string();
  for (auto _ : state) {
    const Run run = tool == "curl"
                        ? RunChild({"curl", "--silent", "--fail", "--output", out, s.url})
                        : RunChild({s.self, "--download", s.url, out});
    if (run.seconds <= 0 || fs::file_size(out) != s.bytes) {
      state.SkipWithError("the download failed or is incomplete");
      break;
    }
    fs::remove(out);
    state.SetIterationTime(run.seconds);
    s.runs[tool].push_back(run);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.bytes));
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--download") == 0)
    return DownloadWithOurClient(argv[2], argv[3]);

  std::size_t mib = 256;
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size-mib") == 0 && i + 1 < argc) {
      mib = std::stoul(argv[++i]);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());

  Setup setup;
  g_setup = &setup;
  setup.self = qm::ExecutablePath();
  setup.dir = fs::temp_directory_path() / ("qm-download-bench-" + std::to_string(::getpid()));
  fs::create_directories(setup.dir / "www" / "upload");
  setup.bytes = mib * 1024 * 1024;
  {
    std::ofstream file(setup.dir / "www" / "upload" / "setup.bin", std::ios::binary);
    std::string block(1024 * 1024, '\0');
    std::uint64_t x = 88172645463325252ULL;
    for (std::size_t i = 0; i < mib; ++i) {
      for (auto& c : block) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x);
      }
      file.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  setup.nginx =
      std::make_unique<qm::testing::NginxServer>(setup.dir / "www", std::chrono::seconds(600));
  if (!setup.nginx->Running()) {
    std::fprintf(stderr, "nginx did not start\n%s", setup.nginx->ErrorLog().c_str());
    return 1;
  }
  setup.url = setup.nginx->Url() + "/upload/setup.bin";
  // Warm nginx's side (the file in the page cache) before anything is measured.
  RunChild({"curl", "--silent", "--fail", "--output", "/dev/null", setup.url});

  for (const std::string tool : {"curl", "quillmere"}) {
    benchmark::RegisterBenchmark(("Download256MiB/" + tool).c_str(), BM_Download, tool)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::vector<double> curl, ours;
  long peak = 0, curl_peak = 0;
  for (const Run& r : setup.runs["curl"]) {
    curl.push_back(r.seconds);
    curl_peak = std::max(curl_peak, r.peak_rss_kib);
  }
  for (const Run& r : setup.runs["quillmere"]) {
    ours.push_back(r.seconds);
    peak = std::max(peak, r.peak_rss_kib);
  }
  setup.nginx.reset();
  std::error_code ec;
  fs::remove_all(setup.dir, ec);
  if (curl.empty() || ours.empty()) {
    std::fprintf(stderr, "a download failed\n");
    return 1;
  }
  const double ratio = Median(curl) / Median(ours);
  std::printf("throughput ratio (ours / curl, median of %zu): %.2f  (target: at least 0.90)\n",
              ours.size(), ratio);
  std::printf(
      "peak memory of our download process: %.1f MiB (curl: %.1f MiB; target: under 32 MiB)\n",
      peak / 1024.0, curl_peak / 1024.0);
  return 0;
}
