// How long the recorder takes to reach the sound card, against the card's own latency
// measured in the same run:
//
//   capture: "beginrecord" (TForm2::BeginRecord) until the first captured frames reach
//            the device, against starting an input stream on the card directly until
//            its first frames arrive;
//   playback: "stopandplayrecord" (TForm2::StopAndPlayRecord) until the card pulls the
//            first frames to play, against starting an output stream directly until
//            its first pull.
//
// Runs on the system's sound server (scripts/test.sh starts a PulseAudio null sink).
// Prints the medians of a few rounds and their ratios. Usage: bench_recorder_latency [rounds]
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "headless/media_ports.h"
#include "headless/scripted_ports.h"
#include "media/emulated_mci.h"
#include "media/recorder.h"
#include "posix/std_file_system.h"
#include "qt/qt_audio_endpoint.h"
#include "qt/qt_loop.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace {

using qm::testing::QtLoop;

// Passes everything to the card and notes when each stream first moves frames.
class TimingEndpoint : public qm::IAudioEndpoint {
 public:
  explicit TimingEndpoint(qm::IAudioEndpoint& inner) : inner_(inner) { clock_.start(); }
  bool HasOutput() override { return inner_.HasOutput(); }
  bool HasInput() override { return inner_.HasInput(); }
  std::unique_ptr<qm::IAudioStream> StartOutput(const qm::AudioFormat& format,
                                                qm::IAudioSource& source) override {
    output_source_ = &source;
    first_pull_.reset();
    return inner_.StartOutput(format, output_);
  }
  std::unique_ptr<qm::IAudioStream> StartInput(const qm::AudioFormat& format,
                                               qm::IAudioSink& sink) override {
    input_sink_ = &sink;
    first_capture_.reset();
    return inner_.StartInput(format, input_);
  }
  double Now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e6; }
  std::optional<double> first_pull_;
  std::optional<double> first_capture_;

 private:
  struct Source : qm::IAudioSource {
    explicit Source(TimingEndpoint* owner) : self(owner) {}
    TimingEndpoint* self;
    std::size_t ReadFrames(std::int16_t* out, std::size_t frames) override {
      const std::size_t got = self->output_source_->ReadFrames(out, frames);
      if (got > 0 && !self->first_pull_) self->first_pull_ = self->Now();
      return got;
    }
    bool Exhausted() const override { return self->output_source_->Exhausted(); }
    void Finished() override { self->output_source_->Finished(); }
    void Failed(const std::string& r) override { self->output_source_->Failed(r); }
  };
  struct Sink : qm::IAudioSink {
    explicit Sink(TimingEndpoint* owner) : self(owner) {}
    TimingEndpoint* self;
    void WriteFrames(const std::int16_t* in, std::size_t frames) override {
      if (frames > 0 && !self->first_capture_) self->first_capture_ = self->Now();
      self->input_sink_->WriteFrames(in, frames);
    }
    void Failed(const std::string& r) override { self->input_sink_->Failed(r); }
  };

  qm::IAudioEndpoint& inner_;
  QElapsedTimer clock_;
  qm::IAudioSource* output_source_ = nullptr;
  qm::IAudioSink* input_sink_ = nullptr;
  Source output_{this};
  Sink input_{this};
};

// Half a second of silence, for the direct output stream.
struct Silence : qm::IAudioSource {
  std::size_t left = 11025;
  bool done = false;
  std::size_t ReadFrames(std::int16_t* out, std::size_t frames) override {
    const std::size_t n = std::min(frames, left);
    std::fill_n(out, n * 2, std::int16_t{0});
    left -= n;
    return n;
  }
  bool Exhausted() const override { return left == 0; }
  void Finished() override { done = true; }
  void Failed(const std::string&) override { done = true; }
};

struct Discard : qm::IAudioSink {
  void WriteFrames(const std::int16_t*, std::size_t) override {}
  void Failed(const std::string&) override {}
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qm::text::SetAnsiCodePage("UTF-8");
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  constexpr int kLimitMs = 5000;

  qm::QtAudioEndpoint card;
  TimingEndpoint timing(card);
  if (!timing.HasInput() || !timing.HasOutput()) {
    std::fprintf(stderr, "bench_recorder_latency: no sound server with an input and an output\n");
    return 1;
  }

  qm::testing::TempDir dir;
  qm::headless::Journal journal;
  QtLoop windows;
  qm::headless::ScriptedDialogs dialogs(journal);
  qm::StdFileSystem files(qm::text::Ansi());
  qm::EmulatedMediaControl mci(windows, timing, files,
                               [&](std::string_view p) { return files.Resolve(p).string(); });
  qm::headless::RecordingProfileWriter profile;
  qm::ErrorBoundary boundary(dialogs, "Bench");
  qm::TForm2 recorder({windows, dialogs, mci, profile, files}, dir.Dir(), boundary,
                      [](const std::string&, const std::string&) { return std::string(); });
  recorder.FormCreate();

  std::vector<double> card_in, card_out, begin_record, stop_and_play;
  for (int round = 0; round < rounds; ++round) {
    {  // the card alone: input
      Discard sink;
      const double start = timing.Now();
      auto stream = timing.StartInput({22050, 2}, sink);
      if (!stream || !QtLoop::RunUntil([&] { return timing.first_capture_.has_value(); }, kLimitMs))
        return std::fprintf(stderr, "no capture from the card\n"), 1;
      card_in.push_back(*timing.first_capture_ - start);
    }
    {  // the card alone: output
      Silence source;
      const double start = timing.Now();
      auto stream = timing.StartOutput({22050, 2}, source);
      if (!stream || !QtLoop::RunUntil([&] { return timing.first_pull_.has_value(); }, kLimitMs))
        return std::fprintf(stderr, "no playback on the card\n"), 1;
      card_out.push_back(*timing.first_pull_ - start);
    }
    // The recorder: "beginrecord", a second of recording, "stopandplayrecord".
    double start = timing.Now();
    recorder.BeginRecord();
    if (!QtLoop::RunUntil([&] { return timing.first_capture_.has_value(); }, kLimitMs))
      return std::fprintf(stderr, "the recorder captured nothing\n"), 1;
    begin_record.push_back(*timing.first_capture_ - start);
    QtLoop::RunFor(1000);
    start = timing.Now();
    recorder.StopAndPlayRecord();
    if (!QtLoop::RunUntil([&] { return timing.first_pull_.has_value(); }, kLimitMs))
      return std::fprintf(stderr, "the recorder played nothing\n"), 1;
    stop_and_play.push_back(*timing.first_pull_ - start);
    recorder.CloseRecord();
  }

  const double in = Median(card_in), out = Median(card_out);
  const double begin = Median(begin_record), play = Median(stop_and_play);
  std::printf("rounds: %d (medians, ms)\n", rounds);
  std::printf("card input start -> first captured frames   %8.2f\n", in);
  std::printf("beginrecord      -> first captured frames   %8.2f   ratio %.2f\n", begin,
              in > 0 ? begin / in : 0.0);
  std::printf("card output start -> first pulled frames    %8.2f\n", out);
  std::printf("stopandplayrecord -> first pulled frames    %8.2f   ratio %.2f\n", play,
              out > 0 ? play / out : 0.0);
  return 0;
}
