// Where the running program and its shared data live on this machine.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The full path of the running executable, as the file system spells it (UTF-8).
std::string ExecutablePath();

// The folder of an executable path up to and including its last separator.
std::string AppDirOf(std::string_view executable_path);

// The folder of application data shared by all users: the system's shared data folder
// when it is writable, else the user's data folder. UTF-8, no trailing separator; empty
// when neither can be named.
std::string CommonAppDataFolder();

// The user's own data folder: $XDG_DATA_HOME, else ~/.local/share. UTF-8, no trailing
// separator; empty when neither can be named.
std::string UserDataFolder();

// Quillmere's own data (the Ruffle player, the device font, the demo course) lies in
// "share/quillmere" of the installation, found from the folder of the running
// executable: "../share/quillmere" from bin/ (and from the build tree's course folder),
// "../../share/quillmere" from lib/quillmere/ (the standalone player), "share/quillmere"
// below it (the build tree's test programs). The first of them that holds the Ruffle
// player wins. The environment variable QM_DATA_DIR, when set, names the folder instead.
inline constexpr char kDataFolderVariable[] = "QM_DATA_DIR";
// `override_folder` stands for QM_DATA_DIR (nullptr when unset). UTF-8 without a trailing
// separator; empty when no candidate holds the player.
std::string FindDataFolder(std::string_view executable_dir, const char* override_folder);
// The same for the running executable, read once.
const std::string& DataFolder();

// The standalone player installed with the shell, "../lib/quillmere/FlashPlayer" from
// the shell's folder; empty when it is not there.
std::string FindStandalonePlayer(std::string_view executable_dir);

// The executable the web engine's own processes run, "../../lib/quillmere/
// QuillmereWebEngineProcess" from the data folder (installed and in the build tree);
// empty when it is not there.
std::string FindWebEngineProcess(std::string_view data_folder);

// True when the file is a Windows program: it begins with "MZ".
bool IsWindowsProgram(const std::string& path);

}  // namespace qm
