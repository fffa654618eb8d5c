// The desktop shell on a free desktop: documents open with the desktop's default
// application, programs in the program folder start directly.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace qm {

namespace text {
class CodePage;
}

class DesktopShell : public IShell {
 public:
  // `opener` opens a document with its default application (xdg-open by default).
  explicit DesktopShell(const text::CodePage& code_page, std::string opener = "xdg-open");

  // "open" on an executable file starts it with the parameter text as its one argument,
  // in the request's folder, else the file's own; "open" on any other existing file
  // without parameters hands it to the opener. (The programs Quillmere stands in for,
  // such as a course's Windows "FlashPlayer.exe", are app/program_stand_ins.h.)
  // Requests that cannot be carried out here (a missing file, a Windows command line
  // such as "regsvr32 ...", another verb) fail with the shell's error code and show
  // nothing. Neither waits for the started program.
  int Execute(const ShellRequest& request) override;
  // The common application-data folder (CSIDL 35); others are not known here.
  std::optional<std::string> SpecialFolderPath(int csidl) override;
  // Deletion only. With kFofAllowUndo every item goes to the desktop's trash (the
  // freedesktop.org home trash, see posix/trash.h); without it, it is deleted for
  // good. Nothing is shown whatever the flags. 0 when every item was dealt with.
  int FileOperation(const ShellFileOperation& operation) override;

  static constexpr int kSuccess = 42;
  static constexpr int kFileNotFound = 2;
  static constexpr int kNoAssociation = 31;
  // Results of FileOperation (the shell's DE_ codes).
  static constexpr int kOperationInvalidFiles = 0x7C;
  static constexpr int kOperationFailed = 0x402;

 private:
  const text::CodePage& code_page_;
  std::string opener_;
};

// Starts `program` with `arguments`, detached (it outlives us and leaves no zombie), in
// `folder` when that is not empty. False when it could not be started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder);

}  // namespace qm
