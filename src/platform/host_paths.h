// Where the running program and its shared data live on this machine. The first group
// is the platform's own (src/posix, src/win32); the rest is built on it. Paths are native
// paths: UTF-8, the system's own separators.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// A native path for std::filesystem and back, whatever the narrow encoding of the
// system's own file calls is.
inline std::filesystem::path FsPathOf(std::string_view native) {
  return std::filesystem::path(std::u8string(native.begin(), native.end()));
}
inline std::string NativeOf(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

// The full path of the running executable, as the file system spells it (UTF-8).
std::string ExecutablePath();

// The folder of application data shared by all users: the system's shared data folder
// when it is writable, else the user's data folder. UTF-8, no trailing separator; empty
// when neither can be named.
std::string CommonAppDataFolder();

// The user's own data folder ($XDG_DATA_HOME, else ~/.local/share; on Windows the local
// application data). UTF-8, no trailing separator; empty when neither can be named.
std::string UserDataFolder();

// The path names a file this user may run as a program.
bool IsExecutableFile(const std::string& path);

// Where the learner's own files of the course in `course_folder` go when the course is
// played over a learner's layer (see posix/learner_layer.h): a course this user cannot
// write, or one whose settings share it with everyone (`shared`). Empty when the course
// is played in place, and on systems that have no such layers.
std::string LearnerFilesFolder(const std::string& course_folder, bool shared);

// The folder of an executable path up to and including its last separator.
std::string AppDirOf(std::string_view executable_path);

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
