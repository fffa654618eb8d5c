// A long day of the desktop program: "quillmere COURSE" plays long_day.swf
// (tools/course_run_movies.cpp), which makes ExternalInterface calls of the file
// services without pause and starts a sound every second, alternating a WAV file and an
// Ogg Vorbis file, for the whole run. Figures, each against its own value after the
// warm-up in the same run:
//   - the call rate over the first window after the warm-up and over the last window;
//   - the PSS of the program's process tree (the web engine's processes included),
//     the median of its samples in the same two windows;
//   - the process tree's CPU in the same two windows, in all and per call.
// Run it under a display (xvfb-run) with a sound server (PULSE_SERVER, see
// scripts/sound_server.sh):
//   bench_long_day [--seconds N]   N seconds of calls and sounds after the movie has
//                                  started (default 150: 2 minutes after the warm-up)
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_tree.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A tone of `seconds` written by libsndfile in `format`; false when it cannot be written.
bool WriteTone(const fs::path& path, int format, int rate, int channels, double hz,
               double seconds) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<float> samples(frames * static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < frames; ++i) {
    const auto value =
        static_cast<float>(0.3 * std::sin(2 * kPi * hz * static_cast<double>(i) / rate));
    for (int c = 0; c < channels; ++c) samples[i * static_cast<std::size_t>(channels) + c] = value;
  }
  const bool ok = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames)) ==
                  static_cast<sf_count_t>(frames);
  return sf_close(file) == 0 && ok;
}

// The course of the long day in `dir`.
bool MakeCourse(const fs::path& dir) {
  fs::create_directories(dir / "data");
  fs::create_directories(dir / "sounds");
  fs::copy_file(QM_COURSE_RUN_MOVIES_DIR "/long_day.swf", dir / "main.swf");
  fs::copy_file(QM_MOVIES_DIR "/version.swf", dir / "version.swf");
  std::ofstream(dir / "data" / "a.txt") << "Lesson one\r\n";
  // Each sound lasts longer than the second until the next one starts: one is always
  // playing, and the next one cuts it off.
  if (!WriteTone(dir / "sounds" / "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 440, 1.5)) {
    return false;
  }
  if (!WriteTone(dir / "sounds" / "b.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, 660, 1.5)) {
    std::fprintf(stderr, "no Ogg Vorbis writer: sounds/b.ogg holds a WAV file\n");
    return WriteTone(dir / "sounds" / "b.ogg", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 660,
                     1.5);
  }
  return true;
}

pid_t StartProgram(const fs::path& course, const fs::path& work) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("QM_DIALOG_LOG", "1", 1);
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    if (FILE* log = std::fopen((work / "program.log").c_str(), "w")) {
      dup2(fileno(log), 1);
      dup2(fileno(log), 2);
    }
    execl(QM_PROGRAM, QM_PROGRAM, course.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void StopProgram(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

struct Progress {
  double at = 0;  // seconds since the movie's first report
  long calls = 0, sounds = 0;
};

struct Sample {
  double at = 0, pss_mb = 0, cpu_s = 0;
};

// The progress line "CALLS SOUNDS"; false while there is none.
bool ReadProgress(const fs::path& file, Progress& p) {
  std::istringstream in(ReadFile(file));
  return static_cast<bool>(in >> p.calls >> p.sounds);
}

// The last progress report at or before `at`.
Progress At(const std::vector<Progress>& reports, double at) {
  Progress found = reports.front();
  for (const Progress& p : reports) {
    if (p.at <= at) found = p;
  }
  return found;
}

double Rate(const std::vector<Progress>& reports, double from, double to) {
  const Progress a = At(reports, from), b = At(reports, to);
  return b.at > a.at ? static_cast<double>(b.calls - a.calls) / (b.at - a.at) : 0;
}

double MedianPss(const std::vector<Sample>& samples, double from, double to) {
  std::vector<double> in;
  for (const Sample& s : samples) {
    if (s.at >= from && s.at <= to) in.push_back(s.pss_mb);
  }
  if (in.empty()) return 0;
  std::sort(in.begin(), in.end());
  return in[in.size() / 2];
}

// The samples nearest inside [from, to]; false when there are not two.
bool Bounds(const std::vector<Sample>& samples, double from, double to, Sample& a, Sample& b) {
  bool found = false;
  for (const Sample& s : samples) {
    if (s.at >= from && !found) {
      a = s;
      found = true;
    }
    if (s.at <= to) b = s;
  }
  return found && b.at > a.at;
}

// CPU of the tree in % of one core over [from, to].
double CpuPercent(const std::vector<Sample>& samples, double from, double to) {
  Sample a, b;
  if (!Bounds(samples, from, to, a, b)) return 0;
  return 100.0 * (b.cpu_s - a.cpu_s) / (b.at - a.at);
}

// CPU time of the tree per call over [from, to], in microseconds: unlike the rate, it
// changes little when other programs take the processors.
double CpuPerCallUs(const std::vector<Sample>& samples, const std::vector<Progress>& reports,
                    double from, double to) {
  Sample a, b;
  if (!Bounds(samples, from, to, a, b)) return 0;
  const long calls = At(reports, b.at).calls - At(reports, a.at).calls;
  return calls > 0 ? 1e6 * (b.cpu_s - a.cpu_s) / static_cast<double>(calls) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 150;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_long_day [--seconds N]\n");
      return 2;
    }
  }
  if (seconds < 10) {
    std::fprintf(stderr, "bench_long_day: at least 10 seconds\n");
    return 2;
  }
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  // The warm-up and the two windows the figures compare: 20 s each in a full run.
  const double warm_up = std::min(20.0, seconds / 3), window = std::min(20.0, seconds / 3);

  const fs::path work = fs::temp_directory_path() / ("qm-long-day-" + std::to_string(getpid()));
  const fs::path course = work / "Course";
  fs::remove_all(work);
  if (!MakeCourse(course)) {
    std::fprintf(stderr, "bench_long_day: cannot write the course's sounds\n");
    return 1;
  }
  const pid_t pid = StartProgram(course, work);

  // Until the movie's first report.
  std::vector<Progress> reports;
  std::vector<Sample> samples;
  const fs::path progress_file = course / "progress.txt";
  const fs::path log = work / "program.log";
  Progress first;
  const auto give_up = Clock::now() + std::chrono::seconds(120);
  while (!ReadProgress(progress_file, first)) {
    if (Clock::now() > give_up || waitpid(pid, nullptr, WNOHANG) == pid) {
      std::fprintf(stderr, "bench_long_day: the movie did not start\n%s", ReadFile(log).c_str());
      StopProgram(pid);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto start = Clock::now();
  const auto since_start = [&] {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  reports.push_back({0, first.calls, first.sounds});

  // The day: the progress ten times a second (a report's time is when it was seen),
  // PSS and CPU every two seconds (more often in a short run). A dialog holds the movie,
  // so the first one ends the run.
  const double sample_every = std::min(2.0, window / 5);
  std::string failure;
  double next_sample = 0;
  for (long tick = 0; since_start() < seconds; ++tick) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Progress p;
    if (ReadProgress(progress_file, p) && p.calls != reports.back().calls) {
      p.at = since_start();
      reports.push_back(p);
    }
    if (since_start() >= next_sample) {
      samples.push_back({since_start(), qm::bench::TreePssMb(pid), qm::bench::TreeCpu(pid)});
      next_sample += sample_every;
    }
    if (tick % 5 != 0) continue;
    const std::string output = ReadFile(log);
    if (const auto at = output.find("{\"dialog\": \"open\""); at != std::string::npos) {
      failure = "a dialog opened (is a sound server running? see PULSE_SERVER): " +
                output.substr(at, output.find('\n', at) - at);
      break;
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      failure = "the program ended:\n" + output;
      break;
    }
  }
  samples.push_back({since_start(), qm::bench::TreePssMb(pid), qm::bench::TreeCpu(pid)});
  StopProgram(pid);
  if (!failure.empty()) {
    std::fprintf(stderr, "bench_long_day: %s\n", failure.c_str());
    return 1;
  }

  const double end = reports.back().at;
  const Progress last = reports.back();
  const double rate_start = Rate(reports, warm_up, warm_up + window);
  const double rate_end = Rate(reports, end - window, end);
  const double pss_start = MedianPss(samples, warm_up, warm_up + window);
  const double pss_end = MedianPss(samples, end - window, end);
  double pss_peak = 0;
  for (const Sample& s : samples) pss_peak = std::max(pss_peak, s.pss_mb);

  std::printf("A long day of the desktop program: %.0f s of ExternalInterface calls and sounds\n",
              end);
  std::printf("  calls in all %ld (%.0f/s), sounds started %ld\n", last.calls - first.calls,
              static_cast<double>(last.calls - first.calls) / end, last.sounds - first.sounds);
  std::printf("  windows: after the warm-up %.0f-%.0f s, at the end %.0f-%.0f s\n", warm_up,
              warm_up + window, end - window, end);
  std::printf("  call rate after the warm-up %.0f calls/s, at the end %.0f calls/s\n", rate_start,
              rate_end);
  std::printf("  ratio call rate end / after the warm-up: %.3f\n", rate_end / rate_start);
  std::printf(
      "  PSS of the process tree after the warm-up %.1f MB, at the end %.1f MB (peak %.1f)\n",
      pss_start, pss_end, pss_peak);
  std::printf("  ratio PSS end / after the warm-up: %.3f\n", pss_end / pss_start);
  std::printf(
      "  CPU of the process tree after the warm-up %.0f %%, at the end %.0f %% of one core\n",
      CpuPercent(samples, warm_up, warm_up + window), CpuPercent(samples, end - window, end));
  const double per_call_start = CpuPerCallUs(samples, reports, warm_up, warm_up + window);
  const double per_call_end = CpuPerCallUs(samples, reports, end - window, end);
  std::printf("  CPU of the process tree per call after the warm-up %.0f us, at the end %.0f us\n",
              per_call_start, per_call_end);
  std::printf("  ratio CPU per call end / after the warm-up: %.3f\n",
              per_call_end / per_call_start);
  fs::remove_all(work);
  return 0;
}
