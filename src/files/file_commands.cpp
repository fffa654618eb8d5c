#include "files/file_commands.h"

#include "bridge/request.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

FileCommands::FileCommands(IFileSystem& files, IDialogs& dialogs, std::string app_dir,
                           std::string app_title)
    : files_(files), app_dir_(std::move(app_dir)), message_(dialogs, std::move(app_title)) {}

void FileCommands::Register(bridge::CommandTable& table) {
  using bridge::Request;
  table.AddRequest("loadfile", [this](const Request& r, const Reply& s) { LoadFile(r, s); });
  table.AddRequest("savefile", [this](const Request& r, const Reply& s) { SaveFile(r, s, true); });
  table.AddRequest("saveToUTF8",
                   [this](const Request& r, const Reply& s) { SaveFile(r, s, true); });
  table.AddRequest("saveBytes",
                   [this](const Request& r, const Reply& s) { SaveFile(r, s, false); });
  table.AddRequest("loadBytes", [this](const Request& r, const Reply& s) { LoadBytes(r, s); });
  table.AddRequest("fileexists", [this](const Request& r, const Reply& s) { FileExists(r, s); });
  table.AddRequest("newfolder", [this](const Request& r, const Reply& s) { NewFolder(r, s); });
  table.AddRequest("getAppDir",
                   [this](const Request&, const Reply& s) { s(bridge::StringReply(app_dir_)); });
}

void FileCommands::LoadFile(const bridge::Request& request, const Reply& reply) {
  const std::string path = app_dir_ + request.Argument(0);
  if (!files_.FirstMatchIsFile(path)) {
    reply(bridge::StringReply({}));
    return;
  }
  reply(bridge::StringReply(files_.ReadFirstLine(path)));
}

void FileCommands::LoadBytes(const bridge::Request& request, const Reply& reply) {
  const std::string path = app_dir_ + request.Argument(0);
  reply(bridge::StringReply(files_.ReadFirstLine(path)));
}

void FileCommands::SaveFile(const bridge::Request& request, const Reply& reply, bool as_utf8) {
  std::string path = app_dir_ + request.Argument(0);
  std::string content = request.Argument(1);
  path = ToNativeSeparators(path);
  if (as_utf8) content = text::Ansi().ToUtf8(content);
  // A folder that cannot be created shows up as the failure to create the file.
  ForceDirectories(files_, ExtractFilePath(path));
  files_.WriteTextFile(path, content);
  reply(bridge::kReplyTrue);
}

void FileCommands::FileExists(const bridge::Request& request, const Reply& reply) {
  reply(bridge::BoolReply(files_.FirstMatchIsFile(app_dir_ + request.Argument(0))));
}

void FileCommands::NewFolder(const bridge::Request& request, const Reply& reply) {
  const std::string path = ToNativeSeparators(app_dir_ + request.Argument(0));
  const bool created = ForceDirectories(files_, path);
  reply(bridge::BoolReply(created));
  if (!created) {
    message_.MessageDialog(text::A("创建文件夹失败"), MessageKind::kError, mbOK, 0);
  }
}

}  // namespace qm
