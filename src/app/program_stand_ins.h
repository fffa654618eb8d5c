// The programs a course starts that Quillmere stands in for, whatever system's shell
// carries out the rest of its requests.
//
// - "regsvr32 ..." registers the Flash control the course was made with. Quillmere plays
//   movies without it: nothing is started and nothing is shown; the request fails as a
//   program that is not there does (kNotStarted).
// - A "FlashPlayer.exe" (any letter case) that is missing or is a Windows program (the
//   Flash projector a course copied from Windows holds): the standalone player installed
//   with the shell plays the movie instead, with the same parameter text, in the folder
//   of the course's player (when it exists). A FlashPlayer.exe that is another program
//   this system can run still runs itself.
// Every other request goes to the system's shell as it is.
#pragma once

#include <string>

#include "platform/shell.h"

namespace qm {

class IFileSystem;

class StandInShell : public IShell {
 public:
  // `standalone_player` is the native path of the installed player; empty: none, and a
  // course's FlashPlayer.exe goes to `inner` like any other program. Every port
  // outlives this one.
  StandInShell(IShell& inner, IFileSystem& files, std::string standalone_player);

  int Execute(const ShellRequest& request) override;
  std::optional<std::string> SpecialFolderPath(int csidl) override {
    return inner_.SpecialFolderPath(csidl);
  }
  int FileOperation(const ShellFileOperation& operation) override {
    return inner_.FileOperation(operation);
  }

  static constexpr int kNotStarted = 2;  // ERROR_FILE_NOT_FOUND

 private:
  IShell& inner_;
  IFileSystem& files_;
  std::string standalone_player_;
};

}  // namespace qm
