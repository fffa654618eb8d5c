// The desktop shell: opening documents and programs, special folders.
#pragma once

#include <optional>
#include <string>

namespace qm {

inline constexpr int kSwShowNormal = 1;
inline constexpr int kCsidlCommonAppData = 35;

struct ShellRequest {
  std::string verb;    // "open"
  std::string file;    // document, program or whole command text
  std::string params;  // parameters for a program
  std::string dir;     // working folder, "" for none
  int show = kSwShowNormal;
  const void* owner = nullptr;  // window that owns what the shell shows
};

class IShell {
 public:
  virtual ~IShell() = default;
  // Opens a document with its associated program or starts a program (ShellExecute).
  // Returns a value above 32 on success, an error code otherwise; never throws.
  virtual int Execute(const ShellRequest& request) = 0;
  // The path of a special folder (CSIDL number) without a trailing separator; nullopt
  // when the shell cannot name it.
  virtual std::optional<std::string> SpecialFolderPath(int csidl) = 0;
};

}  // namespace qm
