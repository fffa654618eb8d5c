#include "resources/resource_commands.h"

#include "media/recorder_commands.h"
#include "media/sound_commands.h"
#include "platform/paths.h"
#include "platform/window_system.h"
#include "resources/document_launcher.h"
#include "resources/resource_forms.h"
#include "text/chars.h"

namespace qm {

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
  // By characters: in a double-byte code page "@" can be a trail byte.
  const text::Chars chars(argument);
  const std::size_t marker = chars.Find("@@@");
  // Counted from 1 as the movie's authors count: p is 0 without a marker, and the name
  // then starts at character 3, so the argument loses its first two characters.
  const std::size_t p = marker == text::Chars::npos ? 0 : marker + 1;
  const std::string sub_path = p > 1 ? std::string(chars.Slice(0, p - 1)) : std::string();
  picker_.PickCallbackName = chars.Slice(p + 2, p + 2 + 999);
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
