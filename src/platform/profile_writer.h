// The profile (ini file) writer: WritePrivateProfileString. A bare file name ("win.ini")
// names a file in the system's own profile folder.
#pragma once

#include <string>

namespace qm {

class IProfileWriter {
 public:
  virtual ~IProfileWriter() = default;
  // Sets `key` in `section` of `file` to `value`, creating what is missing. True on
  // success; never throws.
  virtual bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                         const std::string& value,
                                         const std::string& file) noexcept = 0;
};

}  // namespace qm
