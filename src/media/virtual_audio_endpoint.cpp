#include "media/virtual_audio_endpoint.h"

#include <algorithm>

namespace qm {

struct VirtualAudioEndpoint::Stream {
  bool output = true;
  AudioFormat format;
  IAudioSource* source = nullptr;
  IAudioSink* sink = nullptr;
  std::int64_t start_ms = 0;
  std::uint64_t frames_done = 0;
  bool ended = false;  // an output whose source ran dry
  bool alive = true;
};

namespace {

class VirtualStream : public IAudioStream {
 public:
  VirtualStream(std::shared_ptr<VirtualAudioEndpoint::Stream> stream,
                std::function<void(VirtualAudioEndpoint::Stream&)> catch_up)
      : stream_(std::move(stream)), catch_up_(std::move(catch_up)) {}
  ~VirtualStream() override { stream_->alive = false; }
  void Flush() override {
    if (!stream_->output) catch_up_(*stream_);
  }

 private:
  std::shared_ptr<VirtualAudioEndpoint::Stream> stream_;
  std::function<void(VirtualAudioEndpoint::Stream&)> catch_up_;
};

}  // namespace

VirtualAudioEndpoint::VirtualAudioEndpoint(IWindowSystem& windows, int tick_ms)
    : windows_(windows), tick_ms_(std::max(tick_ms, 1)) {}

VirtualAudioEndpoint::~VirtualAudioEndpoint() = default;

std::size_t VirtualAudioEndpoint::RunningStreams() const {
  return static_cast<std::size_t>(
      std::count_if(streams_.begin(), streams_.end(), [](const auto& s) { return s->alive; }));
}

std::unique_ptr<IAudioStream> VirtualAudioEndpoint::StartOutput(const AudioFormat& format,
                                                                IAudioSource& source) {
  if (!output_present || format.sample_rate <= 0 || format.channels <= 0) return nullptr;
  auto stream = std::make_shared<Stream>();
  stream->output = true;
  stream->format = format;
  stream->source = &source;
  return Start(std::move(stream));
}

std::unique_ptr<IAudioStream> VirtualAudioEndpoint::StartInput(const AudioFormat& format,
                                                               IAudioSink& sink) {
  if (!input_present || format.sample_rate <= 0 || format.channels <= 0) return nullptr;
  auto stream = std::make_shared<Stream>();
  stream->output = false;
  stream->format = format;
  stream->sink = &sink;
  return Start(std::move(stream));
}

std::unique_ptr<IAudioStream> VirtualAudioEndpoint::Start(std::shared_ptr<Stream> stream) {
  stream->start_ms = windows_.TickCount();
  streams_.push_back(stream);
  if (!timer_) {
    timer_ = windows_.CreateTimer(tick_ms_, true, [this] { Tick(); });
  } else if (!timer_->Enabled()) {
    timer_->SetEnabled(true);
  }
  return std::make_unique<VirtualStream>(std::move(stream), [this](Stream& s) { CatchUp(s); });
}

void VirtualAudioEndpoint::Tick() {
  // A callback may stop streams or start new ones; work on a copy.
  const auto streams = streams_;
  for (const auto& stream : streams) {
    if (stream->alive) CatchUp(*stream);
  }
  std::erase_if(streams_, [](const auto& s) { return !s->alive; });
  if (streams_.empty() && timer_) timer_->SetEnabled(false);
}

void VirtualAudioEndpoint::CatchUp(Stream& stream) {
  if (stream.ended) return;
  const std::int64_t elapsed = std::max<std::int64_t>(windows_.TickCount() - stream.start_ms, 0);
  const auto due = static_cast<std::uint64_t>(elapsed) *
                   static_cast<std::uint64_t>(stream.format.sample_rate) / 1000u;
  const auto channels = static_cast<std::size_t>(stream.format.channels);
  constexpr std::size_t kChunk = 4096;
  std::vector<std::int16_t> buffer;
  while (stream.alive && stream.frames_done < due) {
    const std::size_t frames =
        static_cast<std::size_t>(std::min<std::uint64_t>(due - stream.frames_done, kChunk));
    buffer.assign(frames * channels, 0);
    stream.frames_done += frames;
    if (stream.output) {
      const std::size_t got = stream.source->ReadFrames(buffer.data(), frames);
      frames_played_ += std::min(got, frames);
      if (got < frames || stream.source->Exhausted()) {
        stream.ended = true;
        stream.source->Finished();  // may destroy the stream
        return;
      }
    } else {
      frames_captured_ += frames;
      stream.sink->WriteFrames(buffer.data(), frames);
    }
  }
}

}  // namespace qm
