// The sound card through Qt Multimedia: QAudioSink pulls what the devices play,
// QAudioSource delivers what they record, on the default devices of the system's sound
// server. Needs a QCoreApplication; everything runs on its thread.
//
// When the sound server goes away, the running streams fail and the card counts as
// unreachable; Qt's client connects again by itself once the server is back (it tries
// every few seconds from the event loop), and the next start or Reachable() finds it.
#pragma once

#include <memory>

#include "platform/audio_endpoint.h"

namespace qm {

class QtAudioEndpoint : public IAudioEndpoint {
 public:
  bool HasOutput() override;
  bool HasInput() override;
  bool Reachable() override;
  // A stream is connected to the server before these return; its samples move, and
  // its callbacks run, from the event loop.
  std::unique_ptr<IAudioStream> StartOutput(const AudioFormat& format,
                                            IAudioSource& source) override;
  std::unique_ptr<IAudioStream> StartInput(const AudioFormat& format, IAudioSink& sink) override;

 private:
  // Set by a stream whose server connection broke off, cleared by one that connects.
  std::shared_ptr<bool> lost_ = std::make_shared<bool>(false);
};

}  // namespace qm
