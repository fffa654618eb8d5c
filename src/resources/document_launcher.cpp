#include "resources/document_launcher.h"

#include "platform/shell.h"
#include "text/chars.h"
#include "text/codepage.h"

namespace qm {

void OpenDocument(IShell& shell, const std::string& app_dir, const std::string& path,
                  const void* owner) {
  // The last three characters of the code page (a double-byte character counts once).
  const text::Chars chars(path);
  const std::size_t n = chars.Count();
  const bool movie = text::LowerAscii(chars.Slice(n > 3 ? n - 3 : 0, n)) == "swf";

  ShellRequest request;
  request.verb = "open";
  request.show = kSwShowNormal;
  request.owner = owner;
  if (movie) {
    request.file = app_dir + "FlashPlayer.exe";
    request.params = path;
  } else {
    request.file = path;
  }
  try {
    shell.Execute(request);
  } catch (...) {
    // The launch's outcome is never examined; nothing reaches the caller.
  }
}

}  // namespace qm
