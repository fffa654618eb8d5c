// TMediaPlayer: one media device over the media control interface. It holds at most one
// open device on the file named by FileName, sends the device's commands with the
// flags the layer fixes, and turns the device's notifications into OnNotify.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/errors.h"
#include "platform/media_control.h"
#include "platform/profile_writer.h"

namespace qm {

// A refusal of the media device, or a command sent with no device open.
class EMCIDeviceError : public Exception {
 public:
  using Exception::Exception;
};

enum TMPDeviceTypes {
  dtAutoSelect,
  dtAVIVideo,
  dtCDAudio,
  dtDAT,
  dtDigitalVideo,
  dtMMMovie,
  dtOther,
  dtOverlay,
  dtScanner,
  dtSequencer,
  dtVCR,
  dtVideodisc,
  dtWaveAudio
};

// A one-shot option: assigning stores the value and marks it pending; the next command
// that consults it takes the value and clears the mark.
template <typename T>
class OneShot {
 public:
  OneShot& operator=(T value) {
    value_ = value;
    pending_ = true;
    return *this;
  }
  bool Pending() const { return pending_; }
  T Value() const { return value_; }
  void Clear() { pending_ = false; }

 private:
  T value_{};
  bool pending_ = false;
};

class TMediaPlayer {
 public:
  using NotifyEvent = std::function<void(TMediaPlayer& sender)>;

  // `mci` outlives the player; the device posts its notifications to the player's
  // message window through the GUI thread's queue.
  explicit TMediaPlayer(IMediaControl& mci);
  // Closes a device that is still open, ignoring the answer.
  ~TMediaPlayer();
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  std::string FileName;  // ANSI; the element that OpenMedia opens and SaveMedia writes
  TMPDeviceTypes DeviceType = dtAutoSelect;
  bool AutoRewind = true;
  NotifyEvent OnNotify;
  OneShot<bool> NextNotify;
  OneShot<std::uint32_t> NextFrom;

  std::uint16_t DeviceId() const { return device_id_; }
  bool IsOpen() const { return is_open_; }
  std::uint32_t LastError() const { return last_error_; }
  std::uint32_t LastNotifyResult() const { return last_notify_result_; }

  void OpenMedia();
  std::uint32_t CloseMedia();
  std::uint32_t PlayMedia();
  std::uint32_t RecordMedia();
  std::uint32_t StopMedia();
  std::uint32_t PauseMedia();
  std::uint32_t ResumeMedia();
  std::uint32_t SaveMedia();
  std::uint32_t RewindMedia();
  void TogglePause();
  std::uint32_t QueryMode();
  std::uint32_t QueryPosition();
  std::uint32_t QueryLength();
  // Raises "No MCI device open" when no device is open.
  void RequireOpen() const;

 private:
  class MessageWindow;
  // The player's message window, created on first use.
  MciCallback Callback();
  void HandleNotify(std::uint32_t code);
  // Flags of a wait-style command; consumes NextNotify.
  std::uint32_t WaitFlags();
  // Flags of a notify-style command; consumes nothing.
  std::uint32_t NotifyFlags() const;
  std::uint32_t Send(std::uint32_t command, std::uint32_t flags, MciParms& parms,
                     std::uint16_t device);
  std::uint32_t Send(std::uint32_t command, std::uint32_t flags, MciParms& parms) {
    return Send(command, flags, parms, device_id_);
  }
  std::uint32_t SendGeneric(std::uint32_t command, std::uint32_t flags);
  std::uint32_t QueryStatus(std::uint32_t item, std::uint32_t& answer);
  // Play or record with the notify-style flags and NextFrom.
  std::uint32_t StartTransport(std::uint32_t command);

  IMediaControl& mci_;
  std::shared_ptr<MessageWindow> window_;
  std::uint16_t device_id_ = 0;
  bool is_open_ = false;
  std::uint32_t last_error_ = 0;
  std::uint32_t last_notify_result_ = 0;
};

// Writes the file-extension-to-device mappings that the media control interface reads
// when a file is opened without a device type. Failures are ignored.
void RegisterMciExtensions(IProfileWriter& profile) noexcept;

}  // namespace qm
