// flash1FlashCall: the movie's ExternalInterface requests, read and dispatched.
#include <array>
#include <string_view>

#include "app/main_form.h"
#include "bridge/request.h"
#include "text/codepage.h"

namespace qm {

namespace {

using Command = void (*)(TForm1&, const bridge::Request&);

struct CommandEntry {
  std::string_view name;
  Command run;
};

}  // namespace

// Commands are matched exactly, letter case counting; any other name does nothing and
// sets no reply.
void TForm1::flash1FlashCall(const std::u16string& request_text) {
  static const std::array<CommandEntry, 13> kCommands = {{
      {"loadfile", [](TForm1& f, const bridge::Request& r) { f.CmdLoadFile(r); }},
      {"savefile", [](TForm1& f, const bridge::Request& r) { f.CmdSaveFile(r, true); }},
      {"saveToUTF8", [](TForm1& f, const bridge::Request& r) { f.CmdSaveFile(r, true); }},
      {"saveBytes", [](TForm1& f, const bridge::Request& r) { f.CmdSaveFile(r, false); }},
      {"loadBytes", [](TForm1& f, const bridge::Request& r) { f.CmdLoadBytes(r); }},
      {"fileexists", [](TForm1& f, const bridge::Request& r) { f.CmdFileExists(r); }},
      {"newfolder", [](TForm1& f, const bridge::Request& r) { f.CmdNewFolder(r); }},
      {"getAppDir", [](TForm1& f, const bridge::Request& r) { f.CmdGetAppDir(r); }},
      {"loadreg", [](TForm1& f, const bridge::Request& r) { f.CmdLoadReg(r); }},
      {"savereg", [](TForm1& f, const bridge::Request& r) { f.CmdSaveReg(r); }},
      {"enableDragWindow", [](TForm1& f, const bridge::Request&) { f.DragEnabled = true; }},
      {"disableDragWindow", [](TForm1& f, const bridge::Request&) { f.DragEnabled = false; }},
      {"DragingWindow", [](TForm1& f, const bridge::Request& r) { f.CmdDragingWindow(r); }},
  }};

  const bridge::Request request = bridge::Request::Read(request_text, text::Ansi());
  for (const CommandEntry& command : kCommands) {
    if (command.name == request.CommandName()) {
      command.run(*this, request);
      return;
    }
  }
}

void TForm1::SendReply(std::string_view reply) {
  ports_.flash1.SetReturnValue(text::Ansi().ToUtf16(reply));
}

}  // namespace qm
