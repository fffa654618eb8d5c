// The sound side of the platform without a desktop: a profile writer that keeps what it
// was asked to write, a media control interface that reports every device command in the
// journal, and a sound card on the manual clock (silence in, samples counted out).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "headless/scripted_ports.h"
#include "platform/audio_endpoint.h"
#include "platform/media_control.h"
#include "platform/profile_writer.h"

namespace qm::headless {

// Keeps every write in order; writes nothing to disk.
class RecordingProfileWriter : public IProfileWriter {
 public:
  struct Write {
    std::string file, section, key, value;
    bool operator==(const Write&) const = default;
  };
  bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& value,
                                 const std::string& file) noexcept override;
  std::vector<Write> writes;
};

// Passes every command to `inner` and reports it as
// {"mci": {"command", "flags", "device", "name", "result"}}; `name` is the element of an
// open and the file of a save, else empty.
class JournalingMediaControl : public IMediaControl {
 public:
  JournalingMediaControl(IMediaControl& inner, Journal& journal)
      : inner_(inner), journal_(journal) {}
  std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override;
  std::optional<std::string> GetErrorString(std::uint32_t code) override {
    return inner_.GetErrorString(code);
  }

 private:
  IMediaControl& inner_;
  Journal& journal_;
};

// A sound card whose time is the window system's clock. Every `tick_ms` of that clock a
// running output stream takes the frames that fell due and counts them as played, and
// an input stream delivers that many frames of silence. An output stream ends at the
// tick that takes its source's last frame.
class VirtualAudioEndpoint : public IAudioEndpoint {
 public:
  explicit VirtualAudioEndpoint(IWindowSystem& windows, int tick_ms = 10);
  ~VirtualAudioEndpoint() override;
  VirtualAudioEndpoint(const VirtualAudioEndpoint&) = delete;
  VirtualAudioEndpoint& operator=(const VirtualAudioEndpoint&) = delete;

  bool HasOutput() override { return output_present; }
  bool HasInput() override { return input_present; }
  std::unique_ptr<IAudioStream> StartOutput(const AudioFormat& format,
                                            IAudioSource& source) override;
  std::unique_ptr<IAudioStream> StartInput(const AudioFormat& format, IAudioSink& sink) override;

  // A machine without the device refuses every stream in that direction.
  bool output_present = true;
  bool input_present = true;

  std::uint64_t FramesPlayed() const { return frames_played_; }
  std::uint64_t FramesCaptured() const { return frames_captured_; }
  std::size_t RunningStreams() const;

  struct Stream;

 private:
  std::unique_ptr<IAudioStream> Start(std::shared_ptr<Stream> stream);
  void Tick();
  // Moves `stream` on to the clock's present.
  void CatchUp(Stream& stream);

  IWindowSystem& windows_;
  int tick_ms_;
  std::unique_ptr<ITimer> timer_;
  std::vector<std::shared_ptr<Stream>> streams_;
  std::uint64_t frames_played_ = 0;
  std::uint64_t frames_captured_ = 0;
};

}  // namespace qm::headless
