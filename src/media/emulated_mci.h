// The media control interface where the system has none of its own: sound files played
// and recorded through an audio endpoint. Two kinds of device, chosen by the file's
// extension (or named by an open with a device type):
//
//   "waveaudio"  WAV files. Plays, records into the opened file's format (channels,
//                sample rate, 8 or 16 bits per sample) and saves its content as a PCM
//                WAV file.
//   "mpegvideo"  every other sound file the decoder reads (mp3, ogg, flac, aiff, ...):
//                plays; refuses to record and to save.
//
// A device reads its whole file at open. Positions and lengths are in milliseconds.
// A play or record sent with kMciNotify is reported once: successful at its natural
// end, superseded by a new play or record, aborted by a stop, pause, seek, save or
// close, failed when the sound card gives up. Notifications are posted through the
// window system.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/audio_endpoint.h"
#include "platform/file_system.h"
#include "platform/media_control.h"
#include "platform/window_system.h"

namespace qm {

class EmulatedMediaControl : public IMediaControl {
 public:
  // The file system's path for an ANSI path (courses name files with "\" and in any
  // letter case).
  using PathResolver = std::function<std::string(std::string_view ansi_path)>;

  // `files` writes saved content; every port outlives the interface.
  EmulatedMediaControl(IWindowSystem& windows, IAudioEndpoint& endpoint, IFileSystem& files,
                       PathResolver resolve);
  ~EmulatedMediaControl() override;
  EmulatedMediaControl(const EmulatedMediaControl&) = delete;
  EmulatedMediaControl& operator=(const EmulatedMediaControl&) = delete;

  std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override;
  std::optional<std::string> GetErrorString(std::uint32_t code) override;

  // The device an element's extension selects: "waveaudio", "mpegvideo", or "" when the
  // extension is not mapped.
  static std::string DeviceTypeFor(std::string_view element);

  class Device;

 private:
  std::uint32_t Open(std::uint32_t flags, MciParms& parms);

  IWindowSystem& windows_;
  IAudioEndpoint& endpoint_;
  IFileSystem& files_;
  PathResolver resolve_;
  std::map<std::uint16_t, std::unique_ptr<Device>> devices_;
  std::uint16_t last_id_ = 0;
};

}  // namespace qm
