// The desktop shell: opening documents and programs, special folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

// The shell's file operation (SHFileOperation); only deletion is used.
inline constexpr unsigned kFoDelete = 3;
inline constexpr unsigned kFofSilent = 0x0004;
inline constexpr unsigned kFofNoConfirmation = 0x0010;
inline constexpr unsigned kFofAllowUndo = 0x0040;  // to the recycle bin
inline constexpr unsigned kFofNoErrorUi = 0x0400;

struct ShellFileOperation {
  const void* owner = nullptr;     // window that owns what the shell shows
  unsigned operation = kFoDelete;  // kFoDelete
  std::vector<std::string> from;   // the files or folders operated on
  std::string to;                  // destination, "" for a deletion
  unsigned flags = 0;              // kFof... bits
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
  // Carries out a file operation; 0 on success, the shell's error code otherwise. A
  // deletion with kFofAllowUndo moves everything named to the recycle bin; without it
  // they are deleted for good. Never throws.
  virtual int FileOperation(const ShellFileOperation& operation) = 0;
};

}  // namespace qm
