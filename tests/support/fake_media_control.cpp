#include "support/fake_media_control.h"

#include <algorithm>

namespace qm::testing {

namespace {

std::string FlagText(std::uint32_t command, std::uint32_t flags) {
  std::vector<std::pair<std::uint32_t, const char*>> names = {
      {kMciNotify, "notify"}, {kMciWait, "wait"}, {kMciFrom, "from"}, {kMciTo, "to"}};
  if (command == kMciOpen) {
    names.push_back({kMciOpenElement, "element"});
    names.push_back({kMciOpenType, "type"});
  } else if (command == kMciSave) {
    names.push_back({kMciSaveFile, "file"});
  } else if (command == kMciSeek) {
    names.push_back({kMciSeekToStart, "start"});
    names.push_back({kMciSeekToEnd, "end"});
  } else if (command == kMciStatus) {
    names.push_back({kMciStatusItem, "item"});
  }
  std::string out;
  for (const auto& [bit, name] : names) {
    if ((flags & bit) == 0) continue;
    if (!out.empty()) out += '|';
    out += name;
    flags &= ~bit;
  }
  if (flags != 0) out += (out.empty() ? "" : "|") + std::to_string(flags);
  return out.empty() ? "0" : out;
}

std::string ItemText(std::uint32_t item) {
  switch (item) {
    case kMciStatusMode:
      return "mode";
    case kMciStatusPosition:
      return "position";
    case kMciStatusLength:
      return "length";
    default:
      return std::to_string(item);
  }
}

}  // namespace

std::uint32_t FakeMediaControl::SendCommand(std::uint16_t device, std::uint32_t command,
                                            std::uint32_t flags, MciParms& parms) {
  std::string line =
      MciCommandName(command) + "(" + std::to_string(device) + ") " + FlagText(command, flags);
  if (command == kMciOpen) line += " " + parms.lpstrElementName;
  if (command == kMciSave) line += " " + parms.lpfilename;
  if ((command == kMciPlay || command == kMciRecord) && (flags & kMciFrom)) {
    line += " " + std::to_string(parms.dwFrom);
  }
  if (command == kMciStatus) line += " " + ItemText(parms.dwItem);
  sent.push_back(line);

  std::uint32_t result = 0;
  if (auto& queue = results[command]; !queue.empty()) {
    result = queue.front();
    queue.pop_front();
  } else if (command != kMciOpen &&
             std::find(open_devices.begin(), open_devices.end(), device) == open_devices.end()) {
    result = kMciErrInvalidDeviceId;
  }
  if (result != 0) return result;

  switch (command) {
    case kMciOpen:
      parms.wDeviceID = next_device_id++;
      open_devices.push_back(parms.wDeviceID);
      break;
    case kMciClose:
      std::erase(open_devices, device);
      break;
    case kMciStatus:
      parms.dwReturn = parms.dwItem == kMciStatusMode       ? mode
                       : parms.dwItem == kMciStatusPosition ? position
                                                            : length;
      break;
    default:
      break;
  }
  if (flags & kMciNotify) {
    last_notify_callback_ = parms.dwCallback;
    last_notify_device_ = device;
  }
  return 0;
}

std::optional<std::string> FakeMediaControl::GetErrorString(std::uint32_t code) {
  const auto it = error_texts.find(code);
  if (it == error_texts.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> FakeMediaControl::Commands() const {
  std::vector<std::string> out;
  for (const auto& line : sent) {
    if (line.rfind("status", 0) != 0) out.push_back(line);
  }
  return out;
}

void FakeMediaControl::Notify(std::uint32_t code) {
  PostMciNotify(windows_, last_notify_callback_, code, last_notify_device_);
}

}  // namespace qm::testing
