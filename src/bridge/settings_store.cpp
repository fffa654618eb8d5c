// The settings store: one file per key in the folder "quillmere" of the common
// application-data folder, shared by all users and kept between runs.
#include "app/main_form.h"
#include "bridge/request.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

std::string TForm1::GetSpecialFolderPath(int csidl) {
  const std::optional<std::string> path = ports_.shell.SpecialFolderPath(csidl);
  if (!path) return {};
  return ExcludeTrailingSeparator(*path);
}

std::string TForm1::PrepareSettingsFolder() {
  std::string folder;
  bool named = true;
  try {
    folder = GetSpecialFolderPath(kCsidlCommonAppData) + kPathSep + "quillmere" + kPathSep;
  } catch (...) {
    named = false;
    ports_.dialogs.ShowPlainMessage(text::A("获取系统目录失败，请联系管理员"), AppTitle());
  }
  // Without a folder there is nothing to create; keys are then neither read nor
  // written, rather than landing in whatever the current folder is.
  if (!named || !ForceDirectories(ports_.files, folder)) {
    ports_.dialogs.ShowPlainMessage(text::A("创建运行目录失败，请联系管理员"), AppTitle());
  }
  return named ? folder : std::string();
}

std::string TForm1::ReadSettingFile(const std::string& key) {
  const std::string folder = PrepareSettingsFolder();
  if (folder.empty()) return {};
  try {
    return ports_.files.ReadFirstLine(folder + key);
  } catch (const std::exception&) {
    return {};
  }
}

void TForm1::WriteSettingFile(const std::string& key, const std::string& value) {
  const std::string folder = PrepareSettingsFolder();
  if (folder.empty()) return;
  try {
    ports_.files.WriteTextFile(folder + key, value);
  } catch (const std::exception&) {
    // A value that cannot be written is lost; the movie is not told.
  }
}

void TForm1::CmdLoadReg(const bridge::Request& request) {
  SendReply(bridge::StringReply(ReadSettingFile(request.Argument(0))));
}

void TForm1::CmdSaveReg(const bridge::Request& request) {
  const std::string key = request.Argument(0);
  const std::string value = request.Argument(1);
  WriteSettingFile(key, text::Ansi().ToUtf8(value));
  SendReply(bridge::kReplyTrue);
}

}  // namespace qm
