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

}  // namespace qm
