// The Windows shell itself: ShellExecuteW, SHGetFolderPathW and SHFileOperationW, with
// the requests' ANSI texts converted through the shell's code page.
#pragma once

#include <optional>
#include <string>

#include "platform/shell.h"

namespace qm {

namespace text {
class CodePage;
}

class Win32Shell : public IShell {
 public:
  // `code_page` must outlive this object.
  explicit Win32Shell(const text::CodePage& code_page) : code_page_(code_page) {}

  // ShellExecuteW with the request as it is (an empty verb is the default one; empty
  // parameters and folder are none); `owner` is the HWND of the owning window. The
  // value ShellExecuteW returns.
  int Execute(const ShellRequest& request) override;
  // Any CSIDL; the path in the code page.
  std::optional<std::string> SpecialFolderPath(int csidl) override;
  // SHFileOperationW with the operation and flags as given; each item named is made a
  // full path first (the shell's operations want those). An operation the user
  // abandoned in the shell's own dialogue gives ERROR_CANCELLED; one with no item, or
  // with an empty one, gives kInvalidFiles without asking the shell.
  int FileOperation(const ShellFileOperation& operation) override;

  static constexpr int kInvalidFiles = 0x7C;  // DE_INVALIDFILES

 private:
  const text::CodePage& code_page_;
};

}  // namespace qm
