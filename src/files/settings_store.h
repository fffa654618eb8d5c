// The settings store: one file per key in the folder "quillmere" of the common
// application-data folder, shared by all users and kept between runs.
#pragma once

#include <string>

#include "bridge/command_table.h"

namespace qm {

class IDialogs;
class IFileSystem;
class IShell;

namespace bridge {
class Request;
}

class SettingsStore {
 public:
  // `app_title` captions the messages.
  SettingsStore(IShell& shell, IFileSystem& files, IDialogs& dialogs, std::string app_title);

  // "loadreg" and "savereg".
  void Register(bridge::CommandTable& table);

  // The value of `key`; "" when it has none or cannot be read.
  std::string ReadSettingFile(const std::string& key);
  // A value that cannot be written is lost; the movie is not told.
  void WriteSettingFile(const std::string& key, const std::string& value);
  // The path of a special folder without a trailing separator; "" when the shell cannot
  // name it.
  std::string GetSpecialFolderPath(int csidl);

 private:
  // The settings folder, created when missing; "" when it cannot be named at all.
  std::string PrepareSettingsFolder();

  IShell& shell_;
  IFileSystem& files_;
  IDialogs& dialogs_;
  std::string app_title_;
};

}  // namespace qm
