// The sound card as the emulated media devices use it: output streams that pull
// samples, input streams that push them. Samples are signed 16-bit, interleaved by
// channel. Every callback runs on the GUI thread, from its message loop, never from
// inside a call into the endpoint; a callback may destroy its own stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qm {

struct AudioFormat {
  int sample_rate = 22050;
  int channels = 2;
};

// Where an output stream takes its samples from.
class IAudioSource {
 public:
  virtual ~IAudioSource() = default;
  // Fills `out` with up to `frames` frames; fewer means the sound ends there.
  virtual std::size_t ReadFrames(std::int16_t* out, std::size_t frames) = 0;
  // True when nothing is left to read.
  virtual bool Exhausted() const = 0;
  // Everything read has been played out.
  virtual void Finished() = 0;
  // The stream broke off (the device went away); no callback follows.
  virtual void Failed(const std::string& reason) = 0;
};

// Where an input stream delivers what it captured.
class IAudioSink {
 public:
  virtual ~IAudioSink() = default;
  virtual void WriteFrames(const std::int16_t* in, std::size_t frames) = 0;
  virtual void Failed(const std::string& reason) = 0;
};

// A running stream; destroying it stops it at once, and no callback follows.
class IAudioStream {
 public:
  virtual ~IAudioStream() = default;
  // Input: hands everything captured until now to the sink before returning.
  virtual void Flush() {}
};

class IAudioEndpoint {
 public:
  virtual ~IAudioEndpoint() = default;
  virtual bool HasOutput() = 0;
  virtual bool HasInput() = 0;
  // False while the sound system cannot be reached (its server stopped or went away):
  // no stream starts then. Asking again tries the device again, so the devices work once
  // it is back, without a restart.
  virtual bool Reachable() { return true; }
  // Starts playing what `source` gives; null when the device refuses the format, is
  // missing or cannot be reached. `source` outlives the stream.
  virtual std::unique_ptr<IAudioStream> StartOutput(const AudioFormat& format,
                                                    IAudioSource& source) = 0;
  // Starts capturing into `sink`; null as above.
  virtual std::unique_ptr<IAudioStream> StartInput(const AudioFormat& format, IAudioSink& sink) = 0;
};

}  // namespace qm
