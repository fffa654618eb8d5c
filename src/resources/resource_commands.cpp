#include "resources/resource_commands.h"

#include <vector>

#include "media/recorder_commands.h"
#include "media/sound_commands.h"
#include "platform/paths.h"
#include "platform/window_system.h"
#include "resources/document_launcher.h"
#include "resources/resource_forms.h"
#include "text/codepage.h"

namespace qm {

namespace {

// The text from character `first` (counted from 0) on, at most `count` characters of
// the code page.
std::string CopyChars(const std::string& s, const std::vector<std::size_t>& starts,
                      std::size_t first, std::size_t count) {
  if (first >= starts.size()) return {};
  const std::size_t end_char = count < starts.size() - first ? first + count : starts.size();
  const std::size_t end = end_char < starts.size() ? starts[end_char] : s.size();
  return s.substr(starts[first], end - starts[first]);
}

// Index (from 0) of the first character at which "@@@" starts, or npos. Only whole
// characters count: in a double-byte code page "@" can be a trail byte.
std::size_t FindMarker(const std::string& s, const std::vector<std::size_t>& starts) {
  auto is_at = [&](std::size_t i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : s.size();
    return end - starts[i] == 1 && s[starts[i]] == '@';
  };
  for (std::size_t i = 0; i + 2 < starts.size(); ++i) {
    if (is_at(i) && is_at(i + 1) && is_at(i + 2)) return i;
  }
  return std::string::npos;
}

}  // namespace

ResourceCommands::ResourceCommands(IWindowSystem& windows, IShell& shell, TForm3& manager,
                                   TForm6& picker, SoundCommands& sound, std::string app_dir,
                                   const void* owner)
    : windows_(windows),
      shell_(shell),
      manager_(manager),
      picker_(picker),
      sound_(sound),
      app_dir_(std::move(app_dir)),
      owner_(owner) {}

void ResourceCommands::Register(bridge::CommandTable& table) {
  table.AddCommand("selectresource", [this](const std::string& a) { SelectResource(a); });
  table.AddCommand("otherresource", [this](const std::string& a) { OtherResource(a); });
  table.AddCommand("exec", [this](const std::string& a) { Exec(a); });
}

void ResourceCommands::SelectResource(const std::string& argument) {
  const auto starts = text::Ansi().CharStarts(argument);
  const std::size_t marker = FindMarker(argument, starts);
  // Counted from 1 as the movie's authors count: p is 0 without a marker, and the name
  // then starts at character 3, so the argument loses its first two characters.
  const std::size_t p = marker == std::string::npos ? 0 : marker + 1;
  const std::string sub_path = p > 1 ? CopyChars(argument, starts, 0, p - 1) : std::string();
  picker_.PickCallbackName = CopyChars(argument, starts, p + 2, 999);
  picker_.CourseResourceRoot = ToNativeSeparators(app_dir_ + sub_path + "resource");
  windows_.ShowModal(picker_);
}

void ResourceCommands::OtherResource(const std::string& argument) {
  windows_.ProcessMessages();
  manager_.CourseResourceRoot = ToNativeSeparators(app_dir_ + argument + "resource");
  windows_.ShowModal(manager_);
}

void ResourceCommands::Exec(const std::string& argument) {
  sound_.Recorder().CloseRecord();
  OpenDocument(shell_, app_dir_, app_dir_ + argument, owner_);
}

}  // namespace qm
