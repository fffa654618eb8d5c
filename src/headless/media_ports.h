// The sound side of the platform without a desktop: a profile writer that keeps what it
// was asked to write and a media control interface that reports every device command in
// the journal. Its sound card is media/virtual_audio_endpoint.h.
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

}  // namespace qm::headless
