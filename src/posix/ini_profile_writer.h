// The profile writer on a system without Windows profile files: ini files in a folder
// of the user's configuration ($XDG_CONFIG_HOME/quillmere, else ~/.config/quillmere).
// A bare file name ("win.ini") names a file in that folder; a path is used as it is.
#pragma once

#include <string>

#include "platform/profile_writer.h"

namespace qm {

class IniProfileWriter : public IProfileWriter {
 public:
  // `folder` (UTF-8) holds the files named without a folder.
  explicit IniProfileWriter(std::string folder) : folder_(std::move(folder)) {}

  // The user's configuration folder for the shell; "" when it cannot be named.
  static std::string DefaultFolder();

  // Section and key names compare without regard to the case of A-Z, as in Windows
  // profiles; an existing key's line is replaced, a new key ends its section, a new
  // section ends the file. The file is replaced in one step.
  bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& value,
                                 const std::string& file) noexcept override;

 private:
  std::string folder_;
};

}  // namespace qm
