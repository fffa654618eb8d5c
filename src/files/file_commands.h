// The movie's file commands: text files and folders below the program folder, and the
// program folder itself. Paths the movie gives are relative to the program folder.
#pragma once

#include <string>

#include "bridge/command_table.h"
#include "ui/message_dialog.h"

namespace qm {

class IDialogs;
class IFileSystem;

namespace bridge {
class Request;
}

class FileCommands {
 public:
  // `app_dir` ends in a separator; `app_title` captions the messages.
  FileCommands(IFileSystem& files, IDialogs& dialogs, std::string app_dir, std::string app_title);

  // "loadfile", "loadBytes", "savefile", "saveToUTF8", "saveBytes", "fileexists",
  // "newfolder" and "getAppDir".
  void Register(bridge::CommandTable& table);

  using Reply = bridge::CommandTable::Reply;
  void LoadFile(const bridge::Request& request, const Reply& reply);
  void LoadBytes(const bridge::Request& request, const Reply& reply);
  // Writes the text as UTF-8 (`as_utf8`) or as it came, creating missing folders.
  void SaveFile(const bridge::Request& request, const Reply& reply, bool as_utf8);
  void FileExists(const bridge::Request& request, const Reply& reply);
  void NewFolder(const bridge::Request& request, const Reply& reply);

 private:
  IFileSystem& files_;
  std::string app_dir_;
  TbsSkinMessage message_;
};

}  // namespace qm
