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
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace qm {

namespace {

// The buffers asked of the sound server. Left to itself a server may deliver captured
// sound in pieces of seconds; these keep capture and playback close to the clock.
constexpr qint64 kInputBufferUs = 40'000;
constexpr qint64 kOutputBufferUs = 100'000;
// How long a stopped output stays before it is deleted (see ~OutputStream).
constexpr int kSinkLingerMs = 2000;

// Qt 6.4's sound client closes its server connection at process exit without taking the
// lock of the thread that serves that connection. Right after a stream stops, that thread
// is still busy: the server answers the stop, and tells of the device going idle, which
// the client answers with a query of its own. Ending the process then frees the
// connection under the running thread: the process aborts or crashes as it exits (about
// one exit in twenty when it came right after a stop). So the process does not end until
// the last stop is this long past; the exchange takes a few round trips to the server.
constexpr std::chrono::milliseconds kExitAfterStop{500};
std::atomic<std::chrono::steady_clock::rep> last_stop{0};

void WaitForTheStopsToSettle() {
  const std::chrono::steady_clock::time_point stopped{
      std::chrono::steady_clock::duration{last_stop.load()}};
  std::this_thread::sleep_until(stopped + kExitAfterStop);
}

// Called once the client exists: handlers registered after it run before its teardown.
void NoteStop() {
  static const bool registered = std::atexit(WaitForTheStopsToSettle) == 0;
  (void)registered;
  last_stop = std::chrono::steady_clock::now().time_since_epoch().count();
}

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
  OutputStream(const AudioFormat& format, IAudioSource& source, const QAudioDevice& device,
               std::shared_ptr<bool> lost)
      : state_(std::make_shared<State>()),
        sink_(new QAudioSink(device, ToQt(format))),
        pull_(new SourceDevice(&source, format.channels)) {
    state_->source = &source;
    state_->lost = std::move(lost);
    sink_->setBufferSize(sink_->format().bytesForDuration(kOutputBufferUs));
    pull_->setParent(sink_);
    pull_->open(QIODevice::ReadOnly);
    // Started here, before any handler is connected: the start only connects the stream
    // (the first samples are read from the event loop), and a refusal is seen at once.
    sink_->start(pull_);
    if (sink_->state() == QAudio::StoppedState || sink_->error() != QAudio::NoError) {
      if (sink_->error() == QAudio::FatalError) *state_->lost = true;
      state_->source = nullptr;
      return;
    }
    QObject::connect(
        sink_, &QAudioSink::stateChanged, sink_,
        [state = state_, sink = sink_](QAudio::State s) { StateChanged(state, sink, s); });
  }
  ~OutputStream() override {
    state_->source = nullptr;
    pull_->Detach();
    QObject::disconnect(sink_, nullptr, nullptr, nullptr);
    sink_->stop();
    NoteStop();
    // Qt 6.4 asks the server to drain the stream by itself when the sound runs out, and
    // the answer's handler uses the sink even after the stream is stopped: deleting the
    // sink before that answer is in uses freed memory. The answer comes within a round
    // trip to the server, so the sink stays a while. (Deleting it later also keeps its
    // destruction out of the sink's own signals, where this may run.)
    QTimer::singleShot(kSinkLingerMs, sink_, &QObject::deleteLater);
  }
  bool Started() const { return state_->source != nullptr; }

 private:
  struct State {
    IAudioSource* source = nullptr;  // null once the stream is stopped or has reported
    bool finishing = false;
    std::shared_ptr<bool> lost;
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
      // A fatal error is the sound server's connection breaking off.
      if (sink->error() == QAudio::FatalError) *state->lost = true;
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
  InputStream(const AudioFormat& format, IAudioSink& sink, const QAudioDevice& device,
              std::shared_ptr<bool> lost)
      : sink_(&sink),
        frame_bytes_(2 * format.channels),
        source_(new QAudioSource(device, ToQt(format))),
        lost_(std::move(lost)) {
    source_->setBufferSize(source_->format().bytesForDuration(kInputBufferUs));
    push_ = source_->start();
    if (push_ == nullptr) {
      if (source_->error() == QAudio::FatalError) *lost_ = true;
      sink_ = nullptr;
      return;
    }
    QObject::connect(push_, &QIODevice::readyRead, source_, [this] { Deliver(); });
    QObject::connect(source_, &QAudioSource::stateChanged, source_, [this](QAudio::State state) {
      if (sink_ != nullptr && state == QAudio::StoppedState &&
          source_->error() != QAudio::NoError) {
        // A fatal error is the sound server's connection breaking off. The stopped
        // source has deleted the device it delivered through.
        if (source_->error() == QAudio::FatalError) *lost_ = true;
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
    NoteStop();
    source_->deleteLater();
  }
  bool Started() const { return sink_ != nullptr; }
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
  std::shared_ptr<bool> lost_;
  QPointer<QIODevice> push_;  // owned by the source, which deletes it when it stops
  QByteArray pending_;        // a partial frame waits for the rest
  std::vector<std::int16_t> samples_;
};

}  // namespace

bool QtAudioEndpoint::HasOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

bool QtAudioEndpoint::HasInput() {
  return !QMediaDevices::audioInputs().isEmpty();
}

bool QtAudioEndpoint::Reachable() {
  if (!*lost_) return true;
  // Qt's sound client connects to the server again by itself, every few seconds, from
  // the event loop. Whether it has: a stream that connects and writes nothing.
  const QAudioDevice output = QMediaDevices::defaultAudioOutput();
  const QAudioDevice input = QMediaDevices::defaultAudioInput();
  QAudioFormat format;
  format.setSampleRate(22050);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Int16);
  bool reached = false;
  if (!output.isNull()) {
    auto* probe = new QAudioSink(output, format);
    reached = probe->start() != nullptr;
    probe->stop();
    NoteStop();
    // As a stopped output stream (see ~OutputStream); and its destruction runs the
    // event loop, which must not happen inside this call.
    QTimer::singleShot(kSinkLingerMs, probe, &QObject::deleteLater);
  } else if (!input.isNull()) {
    auto* probe = new QAudioSource(input, format);
    reached = probe->start() != nullptr;
    probe->stop();
    NoteStop();
    probe->deleteLater();
  }
  if (reached) *lost_ = false;
  return reached;
}

std::unique_ptr<IAudioStream> QtAudioEndpoint::StartOutput(const AudioFormat& format,
                                                           IAudioSource& source) {
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull() || !device.isFormatSupported(ToQt(format))) return nullptr;
  auto stream = std::make_unique<OutputStream>(format, source, device, lost_);
  if (!stream->Started()) return nullptr;
  *lost_ = false;
  return stream;
}

std::unique_ptr<IAudioStream> QtAudioEndpoint::StartInput(const AudioFormat& format,
                                                          IAudioSink& sink) {
  const QAudioDevice device = QMediaDevices::defaultAudioInput();
  if (device.isNull() || !device.isFormatSupported(ToQt(format))) return nullptr;
  auto stream = std::make_unique<InputStream>(format, sink, device, lost_);
  if (!stream->Started()) return nullptr;
  *lost_ = false;
  return stream;
}

}  // namespace qm
