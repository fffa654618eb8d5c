// TForm1: the main window. It hosts the course movie in `flash1` and the runtime check's
// movie in `flashversion`, and hands the movie's requests and commands to the features
// that added their names to its command table; the window commands are its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bridge/command_table.h"
#include "platform/dialogs.h"
#include "platform/flash_control.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/window_system.h"
#include "ui/error_report.h"
#include "ui/message_dialog.h"

namespace qm {

// The platform the main window runs on.
struct MainFormPorts {
  IFlashControl& flash1;
  IFlashControl& flashversion;
  IWindowSystem& windows;
  IDialogs& dialogs;
  IShell& shell;
  IProcess& process;
};

class TForm1 {
 public:
  // `app_dir` ends in a separator; `app_title` is the application title. Wires the
  // control events through the error boundary and starts the runtime check's timer;
  // FormCreate runs separately.
  TForm1(const MainFormPorts& ports, std::string app_dir, std::string app_title);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Fields.
  bool DragEnabled = false;

  const std::string& AppDir() const { return app_dir_; }
  const std::string& AppTitle() const { return boundary_.Title(); }
  TbsSkinMessage Message1;
  std::unique_ptr<ITimer> Timer1;  // 1000 ms, enabled at start: the Flash runtime check

  // The movie's names: every feature adds its own before the movie starts.
  bridge::CommandTable& Commands() { return commands_; }

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

  // Calls into the movie: "DelphiCallBack" with an event and its data, or any function
  // with two arguments. The movie's reply, converted to the code page.
  std::string NotifyMovie(const std::string& event, const std::string& data);
  std::string CallMovieFunction(const std::string& function, const std::string& first,
                                const std::string& second);

  ErrorBoundary& Boundary() { return boundary_; }

  // Ends the process that owns the main window (this one) with the exit code the
  // system reports for it; true when the request succeeded.
  bool TerminateOwnProcess();

 private:
  // The window's own names: the drag, the window state, the end of the program.
  void RegisterWindowCommands();

  MainFormPorts ports_;
  std::string app_dir_;
  ErrorBoundary boundary_;
  bridge::CommandTable commands_;
  std::optional<std::int64_t> player_lost_at_;  // when the course's player was last lost
};

}  // namespace qm
