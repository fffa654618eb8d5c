#include "app/program_stand_ins.h"

#include <system_error>

#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

namespace {

// The program a command text names: its first word, lower-cased (A-Z only).
std::string ProgramOf(const std::string& command) {
  return text::LowerAscii(command.substr(0, command.find(' ')));
}

}  // namespace

StandInShell::StandInShell(IShell& inner, IFileSystem& files, std::string standalone_player)
    : inner_(inner), files_(files), standalone_player_(std::move(standalone_player)) {}

int StandInShell::Execute(const ShellRequest& request) {
  if (request.verb == "open") {
    const std::string program = ProgramOf(request.file);
    if (program == "regsvr32" || program == "regsvr32.exe") return kNotStarted;
  }
  if (request.verb != "open" || standalone_player_.empty() ||
      text::LowerAscii(ExtractFileName(request.file)) != "flashplayer.exe") {
    return inner_.Execute(request);
  }
  // Found as every course path is: in any letter case, the learner's copy first.
  const std::string found = files_.FindOnDisk(request.file);
  std::error_code ec;
  const bool present = std::filesystem::exists(FsPathOf(found), ec);
  if (present && !IsWindowsProgram(found)) return inner_.Execute(request);

  ShellRequest player = request;
  player.file = text::Ansi().FromUtf8(standalone_player_);
  const std::string folder = ExtractFilePath(request.file);
  player.dir = !folder.empty() && files_.DirectoryExists(folder) ? folder : std::string();
  return inner_.Execute(player);
}

}  // namespace qm
