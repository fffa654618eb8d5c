// The media control interface of Windows itself (winmm): every command goes to
// mciSendCommandA as it is, with the parameter block the command takes.
//
// Notifications: a command sent with kMciNotify names the adapter's own message-only
// window as its callback. That window lives on a thread of the adapter's own, with its
// own message loop, and hands every MM_MCINOTIFY on to the callback window of the
// command's parameter block through IWindowSystem::Post, so the callback runs on the
// GUI thread from its queue. A thread of its own, because the GUI thread's loop is not
// always a Win32 one: the headless driver's window system runs posted messages on a
// clock of its own and never takes a Win32 message, so a window on the GUI thread would
// never hear from the devices there. IWindowSystem::Post is safe from any thread.
//
// Each notify command is reported once, in the order the devices report them: a newer
// notify command on the same device supersedes the older one (the device reports the
// older one as superseded), a stop or close aborts it.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/media_control.h"
#include "platform/window_system.h"

namespace qm {

class Win32MediaControl : public IMediaControl {
 public:
  // `windows` outlives the adapter. Throws std::runtime_error when the notification
  // window cannot be made.
  explicit Win32MediaControl(IWindowSystem& windows);
  ~Win32MediaControl() override;
  Win32MediaControl(const Win32MediaControl&) = delete;
  Win32MediaControl& operator=(const Win32MediaControl&) = delete;

  std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override;
  std::optional<std::string> GetErrorString(std::uint32_t code) override;

  // The window procedure's part (on the notification thread).
  void OnDeviceNotify(std::uint32_t code, std::uint16_t device);
  void OnDevicesClosed(std::uint64_t token);

 private:
  void RunWindowThread();

  IWindowSystem& windows_;
  // The callback windows of the notify commands each device has yet to report, oldest
  // first. Held while a notify command is sent, so that its report, however quick,
  // finds it.
  std::mutex mutex_;
  std::map<std::uint16_t, std::deque<MciCallback>> pending_;
  // Those of closed devices, by close, until the window has taken what the devices
  // reported before their close returned.
  std::map<std::uint64_t, std::map<std::uint16_t, std::deque<MciCallback>>> closing_;
  std::uint64_t next_close_ = 0;
  std::thread thread_;
  void* window_ = nullptr;  // HWND, made and destroyed on thread_
};

}  // namespace qm
