#include "qt/qt_audio_endpoint.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qm {

namespace {

// The buffers asked of the sound server. Left to itself a server may deliver captured
// sound in pieces of seconds; these keep capture and playback close to the clock.
constexpr qint64 kInputBufferUs = 40'000;
constexpr qint64 kOutputBufferUs = 100'000;

QAudioFormat ToQt(const AudioFormat& format) {
  QAudioFormat out;
  out.setSampleRate(format.sample_rate);
  out.setChannelCount(format.channels);
  out.setSampleFormat(QAudioFormat::Int16);
  return out;
}

// What the sink pulls: the source's frames as bytes.
class SourceDevice : public QIODevice {
 public:
  SourceDevice(IAudioSource* source, int channels) : source_(source), frame_bytes_(2 * channels) {}
  void Detach() { source_ = nullptr; }
  bool isSequential() const override { return true; }
  bool atEnd() const override { return source_ == nullptr || source_->Exhausted(); }
  qint64 bytesAvailable() const override {
    return atEnd() ? 0 : (1 << 16) + QIODevice::bytesAvailable();
  }

 protected:
  qint64 readData(char* data, qint64 max) override {
    if (source_ == nullptr) return 0;
    const auto frames = static_cast<std::size_t>(max / frame_bytes_);
    // The samples go through an aligned buffer: `data` need not be aligned for int16.
    buffer_.resize(frames * static_cast<std::size_t>(frame_bytes_ / 2));
    const std::size_t got = source_->ReadFrames(buffer_.data(), frames);
    const auto bytes = static_cast<qint64>(got) * frame_bytes_;
    std::memcpy(data, buffer_.data(), static_cast<std::size_t>(bytes));
    return bytes;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  IAudioSource* source_;
  int frame_bytes_;
  std::vector<std::int16_t> buffer_;
};

class OutputStream : public IAudioStream {
 public:
  OutputStream(const AudioFormat& format, IAudioSource& source, const QAudioDevice& device)
      : state_(std::make_shared<State>()),
        sink_(new QAudioSink(device, ToQt(format))),
        pull_(new SourceDevice(&source, format.channels)) {
    state_->source = &source;
    sink_->setBufferSize(sink_->format().bytesForDuration(kOutputBufferUs));
    pull_->setParent(sink_);
    pull_->open(QIODevice::ReadOnly);
    QObject::connect(
        sink_, &QAudioSink::stateChanged, sink_,
        [state = state_, sink = sink_](QAudio::State s) { StateChanged(state, sink, s); });
    QPointer<QAudioSink> sink = sink_;
    QPointer<SourceDevice> pull = pull_;
    QTimer::singleShot(0, sink_, [sink, pull] {
      if (sink && pull) sink->start(pull);
    });
  }
  ~OutputStream() override {
    state_->source = nullptr;
    pull_->Detach();
    QObject::disconnect(sink_, nullptr, nullptr, nullptr);
    sink_->stop();
    sink_->deleteLater();  // this may run inside one of the sink's own signals
  }

 private:
  struct State {
    IAudioSource* source = nullptr;  // null once the stream is stopped or has reported
    bool finishing = false;
  };

  // Takes the source for its last report.
  static IAudioSource* Take(State& state) {
    IAudioSource* source = state.source;
    state.source = nullptr;
    return source;
  }

  static void StateChanged(const std::shared_ptr<State>& state, QAudioSink* sink, QAudio::State s) {
    if (state->source == nullptr) return;
    if (s == QAudio::StoppedState && sink->error() != QAudio::NoError &&
        sink->error() != QAudio::UnderrunError) {
      Take(*state)->Failed("the sound output stopped");
      return;
    }
    if (s == QAudio::IdleState && state->source->Exhausted() && !state->finishing) {
      // The last samples are still in the device's buffer; let them play out.
      state->finishing = true;
      const qint64 buffered_us = sink->format().durationForBytes(sink->bufferSize());
      QTimer::singleShot(static_cast<int>(buffered_us / 1000), sink, [state] {
        if (state->source != nullptr) Take(*state)->Finished();  // may destroy the stream
      });
    }
  }

  std::shared_ptr<State> state_;
  QAudioSink* sink_;
  SourceDevice* pull_;
};

class InputStream : public IAudioStream {
 public:
  InputStream(const AudioFormat& format, IAudioSink& sink, const QAudioDevice& device)
      : sink_(&sink),
        frame_bytes_(2 * format.channels),
        source_(new QAudioSource(device, ToQt(format))) {
    source_->setBufferSize(source_->format().bytesForDuration(kInputBufferUs));
    push_ = source_->start();
    if (push_ != nullptr) {
      QObject::connect(push_, &QIODevice::readyRead, source_, [this] { Deliver(); });
    }
    QObject::connect(source_, &QAudioSource::stateChanged, source_, [this](QAudio::State state) {
      if (sink_ != nullptr && state == QAudio::StoppedState &&
          source_->error() != QAudio::NoError) {
        IAudioSink* sink = sink_;
        sink_ = nullptr;
        sink->Failed("the sound input stopped");
      }
    });
  }
  ~InputStream() override {
    sink_ = nullptr;
    QObject::disconnect(source_, nullptr, nullptr, nullptr);
    if (push_ != nullptr) QObject::disconnect(push_, nullptr, nullptr, nullptr);
    source_->stop();
    source_->deleteLater();
  }
  bool Started() const { return push_ != nullptr; }
  void Flush() override { Deliver(); }

 private:
  void Deliver() {
    if (sink_ == nullptr || push_ == nullptr) return;
    pending_.append(push_->readAll());
    const qsizetype whole = pending_.size() / frame_bytes_ * frame_bytes_;
    if (whole == 0) return;
    samples_.resize(static_cast<std::size_t>(whole / 2));
    std::memcpy(samples_.data(), pending_.constData(), static_cast<std::size_t>(whole));
    pending_.remove(0, whole);
    sink_->WriteFrames(samples_.data(), static_cast<std::size_t>(whole / frame_bytes_));
  }

  IAudioSink* sink_;
  int frame_bytes_;
  QAudioSource* source_;
  QIODevice* push_ = nullptr;
  QByteArray pending_;  // a partial frame waits for the rest
  std::vector<std::int16_t> samples_;
};

}  // namespace

bool QtAudioEndpoint::HasOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

bool QtAudioEndpoint::HasInput() {
  return !QMediaDevices::audioInputs().isEmpty();
}

std::unique_ptr<IAudioStream> QtAudioEndpoint::StartOutput(const AudioFormat& format,
                                                           IAudioSource& source) {
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull() || !device.isFormatSupported(ToQt(format))) return nullptr;
  return std::make_unique<OutputStream>(format, source, device);
}

std::unique_ptr<IAudioStream> QtAudioEndpoint::StartInput(const AudioFormat& format,
                                                          IAudioSink& sink) {
  const QAudioDevice device = QMediaDevices::defaultAudioInput();
  if (device.isNull() || !device.isFormatSupported(ToQt(format))) return nullptr;
  auto stream = std::make_unique<InputStream>(format, sink, device);
  if (!stream->Started()) return nullptr;
  return stream;
}

}  // namespace qm
