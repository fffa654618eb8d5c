// A media device that records every command it is sent and answers from a script:
// open hands out device ids, the status items answer from fields, and any command can be
// made to fail once. Notifications are posted when the test asks for them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/media_control.h"
#include "platform/window_system.h"

namespace qm::testing {

class FakeMediaControl : public IMediaControl {
 public:
  explicit FakeMediaControl(IWindowSystem& windows) : windows_(windows) {}

  std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override;
  std::optional<std::string> GetErrorString(std::uint32_t code) override;

  // Every command as "name(device) flags extras", e.g. "open(0) wait|element /a.wav",
  // "status(1) wait|item position", "play(1) notify|from 750".
  std::vector<std::string> sent;
  // The same without the status queries.
  std::vector<std::string> Commands() const;

  // The next result of a command (0 when nothing is queued).
  std::map<std::uint32_t, std::deque<std::uint32_t>> results;
  std::map<std::uint32_t, std::string> error_texts;  // GetErrorString; others: none
  std::uint16_t next_device_id = 1;
  std::uint32_t mode = kMciModeStop;
  std::uint32_t position = 0;
  std::uint32_t length = 1000;

  // Posts `code` to the callback of the latest command sent with kMciNotify.
  void Notify(std::uint32_t code);
  // Ids of open devices.
  std::vector<std::uint16_t> open_devices;

 private:
  IWindowSystem& windows_;
  MciCallback last_notify_callback_;
  std::uint16_t last_notify_device_ = 0;
};

}  // namespace qm::testing
