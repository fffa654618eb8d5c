// The update check: once per run, a second after start, it asks the update service
// whether an upgrade exists, and with the user's consent downloads it with a progress
// dialog, starts it and ends the program. Everything runs on the GUI thread; the network
// waits keep the message queue moving, so other handlers may run nested inside the check.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/anti_freeze.h"
#include "http/http_client.h"
#include "platform/window_system.h"
#include "ui/input_dialog.h"
#include "ui/memo.h"
#include "ui/message_dialog.h"
#include "ui/progress_dialog.h"

namespace qm {

class ErrorBoundary;
class IDialogs;
class IFileSystem;
class IShell;

class UpdateCheck {
 public:
  // The fixed product identifier sent to the update service.
  static constexpr const char* kProductId = "5E0B7C1A-93D4-4F2B-A8E6-3C71D9B04F25";

  // `app_dir` ends in a separator: the reply and the upgrade are saved there. `owner` is
  // the main window, owner of the started upgrade. Creates the check's timers; every
  // handler runs through `boundary`.
  UpdateCheck(IWindowSystem& windows, IDialogs& dialogs, IShell& shell, IFileSystem& files,
              ErrorBoundary& boundary, std::string app_dir, std::string app_title,
              const void* owner);
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  // What the service is told, where it is, and the progress of a download.
  std::string ProductId = kProductId;
  std::string ProductVersion = "1.0";
  std::string UpdateServiceBaseUrl;
  std::int64_t LastWorkCount = 0;

  std::unique_ptr<ITimer> Timer2;  // 1000 ms, enabled at start: the check
  std::unique_ptr<ITimer> Timer3;  // 1000 ms, runs during a download
  TbsSkinMessage Message1;
  TMemo Memo1;
  http::AntiFreeze IdAntiFreeze1;
  http::HttpClient IdHTTP1;  // the check
  http::HttpClient IdHTTP2;  // the download
  TbsSkinProgressDialog ProgressDialog1;
  TbsSkinInputDialog downurlDialog1;

  void Timer2Timer();
  void Timer3Timer();
  void IdHTTP1WorkBegin(http::WorkMode mode, std::int64_t work_count_max);
  void IdHTTP1Work(http::WorkMode mode, std::int64_t work_count);
  void IdHTTP1WorkEnd(http::WorkMode mode);
  void ProgressDialog1Cancel();
  // The last "/"-separated part of an address.
  static std::string LastUrlSegment(const std::string& address);

 private:
  IWindowSystem& windows_;
  IShell& shell_;
  IFileSystem& files_;
  std::string app_dir_;
  const void* owner_;
};

}  // namespace qm
