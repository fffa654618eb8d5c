// The movie's resource commands: the resource picker ("selectresource"), the resource
// manager ("otherresource"), and opening a document ("exec").
#pragma once

#include <string>

#include "bridge/command_table.h"

namespace qm {

class IShell;
class IWindowSystem;
class SoundCommands;
class TForm3;
class TForm6;

class ResourceCommands {
 public:
  // `app_dir` ends in a separator; `owner` is the main window, owner of what "exec"
  // starts. "exec" ends a recording first, through `sound`.
  ResourceCommands(IWindowSystem& windows, IShell& shell, TForm3& manager, TForm6& picker,
                   SoundCommands& sound, std::string app_dir, const void* owner);

  // "selectresource", "otherresource" and "exec".
  void Register(bridge::CommandTable& table);

  // The argument is the course's sub-path, "@@@", and the name of the movie function
  // that hears the chosen file. Everything after the first "@@@" belongs to the name.
  void SelectResource(const std::string& argument);
  // The argument is the course's sub-path.
  void OtherResource(const std::string& argument);
  void Exec(const std::string& argument);

 private:
  IWindowSystem& windows_;
  IShell& shell_;
  TForm3& manager_;
  TForm6& picker_;
  SoundCommands& sound_;
  std::string app_dir_;
  const void* owner_;
};

}  // namespace qm
