// The profile writer of Windows: WritePrivateProfileStringA itself, so a bare file name
// names a file in the Windows folder and the texts are in the system's ANSI code page.
#pragma once

#include <string>

#include "platform/profile_writer.h"

namespace qm {

class Win32ProfileWriter : public IProfileWriter {
 public:
  bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& value,
                                 const std::string& file) noexcept override;
};

}  // namespace qm
