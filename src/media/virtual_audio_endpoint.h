// A sound card on the window system's clock: silence in, samples counted out. The
// headless driver plays through it, and the course check, which plays a course without
// sound.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio_endpoint.h"
#include "platform/window_system.h"

namespace qm {

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

}  // namespace qm
