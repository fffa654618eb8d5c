#include "resources/document_launcher.h"

#include "platform/shell.h"
#include "text/codepage.h"

namespace qm {

void OpenDocument(IShell& shell, const std::string& app_dir, const std::string& path,
                  const void* owner) {
  // The last three characters of the code page (a double-byte character counts once).
  const auto starts = text::Ansi().CharStarts(path);
  const std::size_t from = starts.size() > 3 ? starts[starts.size() - 3] : 0;
  const bool movie = text::LowerAscii(std::string_view(path).substr(from)) == "swf";

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
