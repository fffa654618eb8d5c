#include "app/main_form.h"

#include "text/codepage.h"

namespace qm {

TForm1::TForm1(const MainFormPorts& ports, std::string app_dir, std::string app_title)
    : Message1(ports.dialogs, app_title),
      IdAntiFreeze1(ports.windows),
      ProgressDialog1(ports.dialogs),
      downurlDialog1(ports.dialogs),
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
  CreateUpdateComponents();
}

void TForm1::FormCreate() {
  ProductId = kProductId;
  ProductVersion = "1.0";
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

}  // namespace qm
