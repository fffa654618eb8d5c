#include "files/settings_store.h"

#include "bridge/request.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "text/codepage.h"

namespace qm {

SettingsStore::SettingsStore(IShell& shell, IFileSystem& files, IDialogs& dialogs,
                             std::string app_title)
    : shell_(shell), files_(files), dialogs_(dialogs), app_title_(std::move(app_title)) {}

void SettingsStore::Register(bridge::CommandTable& table) {
  using Reply = bridge::CommandTable::Reply;
  table.AddRequest("loadreg", [this](const bridge::Request& request, const Reply& reply) {
    reply(bridge::StringReply(ReadSettingFile(request.Argument(0))));
  });
  table.AddRequest("savereg", [this](const bridge::Request& request, const Reply& reply) {
    const std::string key = request.Argument(0);
    const std::string value = request.Argument(1);
    WriteSettingFile(key, text::Ansi().ToUtf8(value));
    reply(bridge::kReplyTrue);
  });
}

std::string SettingsStore::GetSpecialFolderPath(int csidl) {
  const std::optional<std::string> path = shell_.SpecialFolderPath(csidl);
  if (!path) return {};
  return ExcludeTrailingSeparator(*path);
}

std::string SettingsStore::PrepareSettingsFolder() {
  std::string folder;
  bool named = true;
  try {
    folder = GetSpecialFolderPath(kCsidlCommonAppData) + kPathSep + "quillmere" + kPathSep;
  } catch (...) {
    named = false;
    dialogs_.ShowPlainMessage(text::A("获取系统目录失败，请联系管理员"), app_title_);
  }
  // Without a folder there is nothing to create; keys are then neither read nor
  // written, rather than landing in whatever the current folder is.
  if (!named || !ForceDirectories(files_, folder)) {
    dialogs_.ShowPlainMessage(text::A("创建运行目录失败，请联系管理员"), app_title_);
  }
  return named ? folder : std::string();
}

std::string SettingsStore::ReadSettingFile(const std::string& key) {
  const std::string folder = PrepareSettingsFolder();
  if (folder.empty()) return {};
  try {
    return files_.ReadFirstLine(folder + key);
  } catch (const std::exception&) {
    return {};
  }
}

void SettingsStore::WriteSettingFile(const std::string& key, const std::string& value) {
  const std::string folder = PrepareSettingsFolder();
  if (folder.empty()) return;
  try {
    files_.WriteTextFile(folder + key, value);
  } catch (const std::exception&) {
    // A value that cannot be written is lost; the movie is not told.
  }
}

}  // namespace qm
