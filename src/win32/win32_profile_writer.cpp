#include "win32/win32_profile_writer.h"

#include "win32/windows_api.h"

namespace qm {

bool Win32ProfileWriter::WritePrivateProfileString(const std::string& section,
                                                   const std::string& key, const std::string& value,
                                                   const std::string& file) noexcept {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         0;
}

}  // namespace qm
