// The media control interface: one call per device command, as the system's media
// device layer takes it. A command names a device (0 for an open), the command, its flags
// and a parameter block; the answer is 0 or an error code whose text the interface
// gives. A command sent with kMciNotify reports its end later as a notification posted
// to the GUI thread's queue, addressed to the callback window of its parameter block.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/window_system.h"

namespace qm {

// Commands.
inline constexpr std::uint32_t kMciOpen = 0x0803;
inline constexpr std::uint32_t kMciClose = 0x0804;
inline constexpr std::uint32_t kMciPlay = 0x0806;
inline constexpr std::uint32_t kMciSeek = 0x0807;
inline constexpr std::uint32_t kMciStop = 0x0808;
inline constexpr std::uint32_t kMciPause = 0x0809;
inline constexpr std::uint32_t kMciRecord = 0x080F;
inline constexpr std::uint32_t kMciSave = 0x0813;
inline constexpr std::uint32_t kMciStatus = 0x0814;
inline constexpr std::uint32_t kMciResume = 0x0855;

// Flags. Some bits mean different things for different commands.
inline constexpr std::uint32_t kMciNotify = 0x1;
inline constexpr std::uint32_t kMciWait = 0x2;
inline constexpr std::uint32_t kMciFrom = 0x4;
inline constexpr std::uint32_t kMciTo = 0x8;
inline constexpr std::uint32_t kMciSaveFile = 0x100;     // save
inline constexpr std::uint32_t kMciSeekToStart = 0x100;  // seek
inline constexpr std::uint32_t kMciSeekToEnd = 0x200;    // seek
inline constexpr std::uint32_t kMciStatusItem = 0x100;   // status
inline constexpr std::uint32_t kMciOpenElement = 0x200;  // open
inline constexpr std::uint32_t kMciOpenType = 0x2000;    // open

// Status items and the modes the mode item answers.
inline constexpr std::uint32_t kMciStatusLength = 1;
inline constexpr std::uint32_t kMciStatusPosition = 2;
inline constexpr std::uint32_t kMciStatusMode = 4;
inline constexpr std::uint32_t kMciModeNotReady = 524;
inline constexpr std::uint32_t kMciModeStop = 525;
inline constexpr std::uint32_t kMciModePlay = 526;
inline constexpr std::uint32_t kMciModeRecord = 527;
inline constexpr std::uint32_t kMciModeSeek = 528;
inline constexpr std::uint32_t kMciModePause = 529;
inline constexpr std::uint32_t kMciModeOpen = 530;

// Notification codes (the wParam of MM_MCINOTIFY).
inline constexpr std::uint32_t kMmMciNotify = 0x3B9;
inline constexpr std::uint32_t kMciNotifySuccessful = 1;
inline constexpr std::uint32_t kMciNotifySuperseded = 2;
inline constexpr std::uint32_t kMciNotifyAborted = 4;
inline constexpr std::uint32_t kMciNotifyFailure = 8;

// Error codes.
inline constexpr std::uint32_t kMciErrBase = 256;
inline constexpr std::uint32_t kMciErrInvalidDeviceId = kMciErrBase + 1;
inline constexpr std::uint32_t kMciErrUnrecognizedKeyword = kMciErrBase + 3;
inline constexpr std::uint32_t kMciErrUnrecognizedCommand = kMciErrBase + 5;
inline constexpr std::uint32_t kMciErrHardware = kMciErrBase + 6;
inline constexpr std::uint32_t kMciErrInvalidDeviceName = kMciErrBase + 7;
inline constexpr std::uint32_t kMciErrOutOfMemory = kMciErrBase + 8;
inline constexpr std::uint32_t kMciErrMissingParameter = kMciErrBase + 17;
inline constexpr std::uint32_t kMciErrUnsupportedFunction = kMciErrBase + 18;
inline constexpr std::uint32_t kMciErrFileNotFound = kMciErrBase + 19;
inline constexpr std::uint32_t kMciErrExtensionNotFound = kMciErrBase + 25;
inline constexpr std::uint32_t kMciErrOutOfRange = kMciErrBase + 26;
inline constexpr std::uint32_t kMciErrFlagsNotCompatible = kMciErrBase + 28;
inline constexpr std::uint32_t kMciErrFileNotSaved = kMciErrBase + 30;
inline constexpr std::uint32_t kMciErrBadConstant = kMciErrBase + 34;
inline constexpr std::uint32_t kMciErrInvalidFile = kMciErrBase + 40;
inline constexpr std::uint32_t kMciErrNonapplicableFunction = kMciErrBase + 46;
inline constexpr std::uint32_t kMciErrFilenameRequired = kMciErrBase + 48;
inline constexpr std::uint32_t kMciErrDeviceNotInstalled = kMciErrBase + 50;
inline constexpr std::uint32_t kMciErrWaveOutputsUnsuitable = kMciErrBase + 70;
inline constexpr std::uint32_t kMciErrWaveInputsUnsuitable = kMciErrBase + 72;
inline constexpr std::uint32_t kMciErrFileRead = kMciErrBase + 92;
inline constexpr std::uint32_t kMciErrFileWrite = kMciErrBase + 93;

// The window that receives a device's notifications.
class IMciNotifyWindow {
 public:
  virtual ~IMciNotifyWindow() = default;
  // MM_MCINOTIFY: `code` is the wParam (the notification code), `device` the lParam.
  virtual void OnMciNotify(std::uint32_t code, std::uint16_t device) = 0;
};

// The callback window of a parameter block. A notification for a window that no longer
// exists is dropped, as the window system drops messages to destroyed windows.
using MciCallback = std::weak_ptr<IMciNotifyWindow>;

// The members of every parameter block the layer sends; the command says which of them
// the device reads and writes. Text is ANSI.
struct MciParms {
  MciCallback dwCallback;
  // open
  std::uint16_t wDeviceID = 0;  // answered
  std::string lpstrDeviceType;
  std::string lpstrElementName;
  // play, record, seek
  std::uint32_t dwFrom = 0;
  std::uint32_t dwTo = 0;
  // save
  std::string lpfilename;
  // status
  std::uint32_t dwItem = 0;
  std::uint32_t dwReturn = 0;  // answered
};

class IMediaControl {
 public:
  virtual ~IMediaControl() = default;
  // Sends one command; 0 on success, else an error code. Wait-style commands return
  // when the device has finished; kMciNotify commands as soon as it has accepted.
  virtual std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command,
                                    std::uint32_t flags, MciParms& parms) = 0;
  // The text for an error code; nullopt when the interface has none.
  virtual std::optional<std::string> GetErrorString(std::uint32_t code) = 0;
};

// The command's name in reports ("open", "play", ...); unknown commands as a number.
inline std::string MciCommandName(std::uint32_t command) {
  switch (command) {
    case kMciOpen:
      return "open";
    case kMciClose:
      return "close";
    case kMciPlay:
      return "play";
    case kMciSeek:
      return "seek";
    case kMciStop:
      return "stop";
    case kMciPause:
      return "pause";
    case kMciRecord:
      return "record";
    case kMciSave:
      return "save";
    case kMciStatus:
      return "status";
    case kMciResume:
      return "resume";
    default:
      return std::to_string(command);
  }
}

// Posts MM_MCINOTIFY for `device` to `callback` through the GUI thread's queue.
inline void PostMciNotify(IWindowSystem& windows, const MciCallback& callback, std::uint32_t code,
                          std::uint16_t device) {
  windows.Post([callback, code, device] {
    if (const auto window = callback.lock()) window->OnMciNotify(code, device);
  });
}

class IAudioEndpoint;
class IFileSystem;

// The system's own media control interface, made by the platform's library: Windows'
// own; elsewhere the emulated one, playing and recording through `audio` on the clock of
// `windows`, with files found through `files` (the learner's copy first). Every port
// outlives it.
std::unique_ptr<IMediaControl> SystemMediaControl(IWindowSystem& windows, IAudioEndpoint& audio,
                                                  IFileSystem& files);
// Whether that interface plays and records on the wall clock (Windows' own devices)
// rather than on the clock of `windows` (the emulated one).
bool SystemMediaControlKeepsWallClock();

}  // namespace qm
