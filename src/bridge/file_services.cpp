// The movie's file commands: text files and folders below the program folder, the
// program folder itself, and the window drag.
#include "app/main_form.h"
#include "bridge/request.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

void TForm1::CmdLoadFile(const bridge::Request& request) {
  const std::string path = app_dir_ + request.Argument(0);
  if (!ports_.files.FirstMatchIsFile(path)) {
    SendReply(bridge::StringReply({}));
    return;
  }
  SendReply(bridge::StringReply(ports_.files.ReadFirstLine(path)));
}

void TForm1::CmdLoadBytes(const bridge::Request& request) {
  const std::string path = app_dir_ + request.Argument(0);
  SendReply(bridge::StringReply(ports_.files.ReadFirstLine(path)));
}

void TForm1::CmdSaveFile(const bridge::Request& request, bool as_utf8) {
  std::string path = app_dir_ + request.Argument(0);
  std::string content = request.Argument(1);
  path = ToNativeSeparators(path);
  if (as_utf8) content = text::Ansi().ToUtf8(content);
  // A folder that cannot be created shows up as the failure to create the file.
  ForceDirectories(ports_.files, ExtractFilePath(path));
  ports_.files.WriteTextFile(path, content);
  SendReply(bridge::kReplyTrue);
}

void TForm1::CmdFileExists(const bridge::Request& request) {
  SendReply(bridge::BoolReply(ports_.files.FirstMatchIsFile(app_dir_ + request.Argument(0))));
}

void TForm1::CmdNewFolder(const bridge::Request& request) {
  const std::string path = ToNativeSeparators(app_dir_ + request.Argument(0));
  const bool created = ForceDirectories(ports_.files, path);
  SendReply(bridge::BoolReply(created));
  if (!created) {
    Message1.MessageDialog(text::A("创建文件夹失败"), MessageKind::kError, mbOK, 0);
  }
}

void TForm1::CmdGetAppDir(const bridge::Request&) {
  SendReply(bridge::StringReply(app_dir_));
}

void TForm1::CmdDragingWindow(const bridge::Request&) {
  if (DragEnabled) ports_.windows.DragMainWindow();
}

}  // namespace qm
