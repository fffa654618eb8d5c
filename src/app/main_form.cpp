#include "app/main_form.h"

#include "bridge/request.h"
#include "platform/errors.h"
#include "text/codepage.h"

namespace qm {

TForm1::TForm1(const MainFormPorts& ports, std::string app_dir, std::string app_title)
    : Message1(ports.dialogs, app_title),
      ports_(ports),
      app_dir_(std::move(app_dir)),
      boundary_(ports.dialogs, std::move(app_title)) {
  ports_.flash1.OnFlashCall(
      [this](const std::u16string& request) { boundary_.Run([&] { flash1FlashCall(request); }); });
  ports_.flash1.OnFSCommand([this](const std::u16string& command, const std::u16string& args) {
    boundary_.Run([&] { flash1FSCommand(command, args); });
  });
  ports_.flash1.OnFailure([this](IFlashControl::Failure failure, const std::u16string& detail) {
    boundary_.Run([&] { flash1Failure(failure, detail); });
  });
  // The runtime check's timer comes first: on a common tick it runs before the others.
  Timer1 =
      ports_.windows.CreateTimer(1000, true, [this] { boundary_.Run([&] { Timer1Timer(); }); });
  RegisterWindowCommands();
}

void TForm1::FormCreate() {
  // Registration of the control shipped beside the program; the outcome is ignored.
  ports_.shell.Execute({"open", "regsvr32 " + app_dir_ + "Flash10h.ocx", "", "", kSwShowNormal});
  DragEnabled = true;
  ports_.windows.SetMessageHook(
      [this](const WindowMessage& message) { return FlashMessageFilter(message); });
  ports_.flashversion.SetMovie(text::Ansi().ToUtf16(app_dir_ + "version.swf"));
  ports_.flash1.SetMovie(text::Ansi().ToUtf16(app_dir_ + "main.swf"));
}

bool TForm1::FlashMessageFilter(const WindowMessage& message) {
  return message.message == WindowMessage::kRButtonDown && message.window == ports_.flash1.Window();
}

void TForm1::RegisterWindowCommands() {
  using bridge::Request;
  using Reply = bridge::CommandTable::Reply;
  commands_.AddRequest("enableDragWindow",
                       [this](const Request&, const Reply&) { DragEnabled = true; });
  commands_.AddRequest("disableDragWindow",
                       [this](const Request&, const Reply&) { DragEnabled = false; });
  commands_.AddRequest("DragingWindow", [this](const Request&, const Reply&) {
    if (DragEnabled) ports_.windows.DragMainWindow();
  });
  commands_.AddCommand("minimized", [this](const std::string&) {
    ports_.windows.SetMainWindowState(WindowState::kMinimized);
  });
  commands_.AddCommand("normal", [this](const std::string&) {
    ports_.windows.SetMainWindowState(WindowState::kNormal);
  });
  commands_.AddCommand("maximized", [this](const std::string&) {
    ports_.windows.SetMainWindowState(WindowState::kMaximized);
  });
  commands_.AddCommand("exitprogram", [this](const std::string&) {
    ports_.flash1.SetMovie(u"");
    for (int i = 0; i < 3; ++i) TerminateOwnProcess();
  });
  commands_.AddCommand("resourceindex",
                       [this](const std::string&) { ports_.windows.ProcessMessages(); });
}

// Commands are matched exactly, letter case counting; any other name does nothing and
// sets no reply.
void TForm1::flash1FlashCall(const std::u16string& request_text) {
  const bridge::Request request = bridge::Request::Read(request_text, text::Ansi());
  if (const auto* handler = commands_.FindRequest(request.CommandName())) {
    (*handler)(request, [this](std::string_view reply) {
      ports_.flash1.SetReturnValue(text::Ansi().ToUtf16(reply));
    });
  }
}

// The movie's one-way commands. Nothing is returned to the movie; what has something to
// report calls into the movie later by itself.
void TForm1::flash1FSCommand(const std::u16string& command, const std::u16string& args) {
  const auto* handler = commands_.FindCommand(text::Utf16ToUtf8(command));
  if (handler == nullptr) return;
  try {
    (*handler)(text::Ansi().FromUtf16(args));
  } catch (const Exception& e) {
    // The program's own errors are shown plainly and the movie goes on; anything else
    // leaves for the general error report.
    ports_.dialogs.ShowPlainMessage(e.what(), AppTitle());
  }
}

bool TForm1::TerminateOwnProcess() {
  return ports_.process.Terminate(ports_.process.ExitCode());
}

std::string TForm1::NotifyMovie(const std::string& event, const std::string& data) {
  return CallMovieFunction("DelphiCallBack", event, data);
}

std::string TForm1::CallMovieFunction(const std::string& function, const std::string& first,
                                      const std::string& second) {
  const text::CodePage& cp = text::Ansi();
  const std::u16string reply =
      ports_.flash1.CallFunction(cp.ToUtf16(bridge::InvokeText(function, first, second)));
  return cp.FromUtf16(reply);
}

}  // namespace qm
