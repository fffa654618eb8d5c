// The sound card through Qt Multimedia: QAudioSink pulls what the devices play,
// QAudioSource delivers what they record, on the default devices of the system's sound
// server. Needs a QCoreApplication; everything runs on its thread.
#pragma once

#include <memory>

#include "platform/audio_endpoint.h"

namespace qm {

class QtAudioEndpoint : public IAudioEndpoint {
 public:
  bool HasOutput() override;
  bool HasInput() override;
  // Streams start from the event loop, so that no callback runs inside these calls.
  std::unique_ptr<IAudioStream> StartOutput(const AudioFormat& format,
                                            IAudioSource& source) override;
  std::unique_ptr<IAudioStream> StartInput(const AudioFormat& format, IAudioSink& sink) override;
};

}  // namespace qm
