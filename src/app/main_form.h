// TForm1: the main window. It hosts the course movie in `flash1`, the runtime check's
// movie in `flashversion`, and the handlers through which the movie reaches the shell.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/anti_freeze.h"
#include "http/http_client.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/flash_control.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/window_system.h"
#include "ui/error_report.h"
#include "ui/input_dialog.h"
#include "ui/memo.h"
#include "ui/message_dialog.h"
#include "ui/progress_dialog.h"

namespace qm {

namespace bridge {
class Request;
}
class RecorderCommands;
class TForm3;
class TForm6;

// The platform the main window runs on.
struct MainFormPorts {
  IFlashControl& flash1;
  IFlashControl& flashversion;
  IWindowSystem& windows;
  IDialogs& dialogs;
  IShell& shell;
  IFileSystem& files;
  IProcess& process;
};

class TForm1 {
 public:
  // `app_dir` ends in a separator; `app_title` is the application title. Wires the
  // control events through the error boundary; FormCreate runs separately.
  TForm1(const MainFormPorts& ports, std::string app_dir, std::string app_title);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The fixed product identifier sent to the update service.
  static constexpr const char* kProductId = "5E0B7C1A-93D4-4F2B-A8E6-3C71D9B04F25";

  // Fields.
  std::string ProductId;
  std::string ProductVersion;
  bool DragEnabled = false;

  const std::string& AppDir() const { return app_dir_; }
  const std::string& AppTitle() const { return boundary_.Title(); }
  TbsSkinMessage Message1;
  std::unique_ptr<ITimer> Timer1;  // 1000 ms, enabled at start: the Flash runtime check

  // The update check (src/update): where the service is, the progress of a download, and
  // the components the check uses.
  std::string UpdateServiceBaseUrl;
  std::int64_t LastWorkCount = 0;
  std::unique_ptr<ITimer> Timer2;  // 1000 ms, enabled at start: the check
  std::unique_ptr<ITimer> Timer3;  // 1000 ms, runs during a download
  TMemo Memo1;
  http::AntiFreeze IdAntiFreeze1;
  http::HttpClient IdHTTP1;  // the check
  http::HttpClient IdHTTP2;  // the download
  TbsSkinProgressDialog ProgressDialog1;
  TbsSkinInputDialog downurlDialog1;

  // Handlers.
  void FormCreate();
  void flash1FlashCall(const std::u16string& request);
  void flash1FSCommand(const std::u16string& command, const std::u16string& args);
  bool FlashMessageFilter(const WindowMessage& message);
  void Timer1Timer();
  // The course movie's player failed: its process is restarted once (a second loss
  // within kPlayerLossWindowMs ends the program); a movie that cannot be played ends it.
  void flash1Failure(IFlashControl::Failure failure, const std::u16string& detail);
  static constexpr std::int64_t kPlayerLossWindowMs = 60000;
  // The exit code of a program that ended because the course could not go on.
  static constexpr unsigned kPlayerFailedExitCode = 4;
  void Timer2Timer();
  void Timer3Timer();
  void IdHTTP1WorkBegin(http::WorkMode mode, std::int64_t work_count_max);
  void IdHTTP1Work(http::WorkMode mode, std::int64_t work_count);
  void IdHTTP1WorkEnd(http::WorkMode mode);
  void ProgressDialog1Cancel();
  // The last "/"-separated part of an address.
  static std::string LastUrlSegment(const std::string& address);

  // Calls into the movie: "DelphiCallBack" with an event and its data, or any function
  // with two arguments. The movie's reply, converted to the code page.
  std::string NotifyMovie(const std::string& event, const std::string& data);
  std::string CallMovieFunction(const std::string& function, const std::string& first,
                                const std::string& second);

  // The settings store: one file per key in SettingsFolder.
  std::string ReadSettingFile(const std::string& key);
  void WriteSettingFile(const std::string& key, const std::string& value);
  // The path of a special folder without a trailing separator; "" when the shell cannot
  // name it.
  std::string GetSpecialFolderPath(int csidl);

  ErrorBoundary& Boundary() { return boundary_; }

  // The other windows, created after this one by the program entry.
  RecorderCommands* Form2 = nullptr;
  TForm3* Form3 = nullptr;
  TForm6* Form6 = nullptr;

  // Ends the process that owns the main window (this one) with the exit code the
  // system reports for it; true when the request succeeded.
  bool TerminateOwnProcess();

 private:
  // ExternalInterface commands; each reads its arguments and sets at most one reply.
  void SendReply(std::string_view reply);
  void CmdLoadFile(const bridge::Request& request);
  void CmdSaveFile(const bridge::Request& request, bool as_utf8);
  void CmdLoadBytes(const bridge::Request& request);
  void CmdFileExists(const bridge::Request& request);
  void CmdNewFolder(const bridge::Request& request);
  void CmdGetAppDir(const bridge::Request& request);
  void CmdLoadReg(const bridge::Request& request);
  void CmdSaveReg(const bridge::Request& request);
  void CmdDragingWindow(const bridge::Request& request);
  RecorderCommands& Recorder();
  void SelectResource(const std::string& argument);
  void OtherResource(const std::string& argument);
  // The settings folder, created when missing; "" when it cannot be named at all.
  std::string PrepareSettingsFolder();
  void CreateUpdateComponents();

  MainFormPorts ports_;
  std::string app_dir_;
  ErrorBoundary boundary_;
  std::optional<std::int64_t> player_lost_at_;  // when the course's player was last lost
};

}  // namespace qm
