#include "headless/media_ports.h"

#include <algorithm>

namespace qm::headless {

bool RecordingProfileWriter::WritePrivateProfileString(const std::string& section,
                                                       const std::string& key,
                                                       const std::string& value,
                                                       const std::string& file) noexcept {
  try {
    writes.push_back({file, section, key, value});
    return true;
  } catch (...) {
    return false;
  }
}

std::uint32_t JournalingMediaControl::SendCommand(std::uint16_t device, std::uint32_t command,
                                                  std::uint32_t flags, MciParms& parms) {
  const std::uint32_t result = inner_.SendCommand(device, command, flags, parms);
  const std::string name = command == kMciOpen   ? parms.lpstrElementName
                           : command == kMciSave ? parms.lpfilename
                                                 : std::string();
  journal_.Add({{"mci",
                 {{"command", MciCommandName(command)},
                  {"flags", flags},
                  {"device", device},
                  {"name", JsonText(name)},
                  {"result", result}}}});
  return result;
}

}  // namespace qm::headless
