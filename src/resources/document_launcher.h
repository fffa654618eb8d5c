// OpenDocument: the one rule behind every "open". Standalone movies go to the player
// "FlashPlayer.exe" in the program folder; every other file to the desktop shell.
#pragma once

#include <string>

namespace qm {

class IShell;

// `path` is used exactly as received. A path whose last three characters, lower-cased
// (A-Z only), are "swf" is played by AppDir + "FlashPlayer.exe" with the path as the
// whole, unquoted parameter text; anything else is opened by the shell. The outcome is
// not examined and nothing is raised.
void OpenDocument(IShell& shell, const std::string& app_dir, const std::string& path,
                  const void* owner);

}  // namespace qm
