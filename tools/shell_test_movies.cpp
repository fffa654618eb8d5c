// Writes the ActionScript 1 movies of the desktop program's end-to-end tests into a
// folder:
//   version_9_0.swf, version_10_1.swf, version_10_2.swf, version_11_0.swf
//                       version movies that report a fixed runtime version;
//   version_none.swf    a version movie that sets nothing;
//   commands.swf        a course movie driven by a command file: every frame it reads
//                       the first line of "cmd.txt"; when that changed it issues it as
//                       an fscommand, saves "x" to "out/<command>.txt", then writes
//                       the command to "ack.txt";
//   exec_first.swf      commands.swf that first starts the lesson movie "lesson.swf"
//                       ("exec"), as a course's lesson button does;
//   newfolder_first.swf a course movie whose first request opens a dialog (a folder
//                       below a file cannot be made): when it has returned, it saves
//                       "after.txt".
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "swf/avm1.h"

namespace {

using qm::swf::ActionWriter;
using qm::swf::Bytes;

Bytes Version(const std::string& major, const std::string& minor) {
  ActionWriter a;
  a.SetVariable("mainver", major).SetVariable("submainver", minor).Op(ActionWriter::kStop);
  return qm::swf::WriteMovie({.version = 8, .width = 100, .height = 100, .frames = 1},
                             {qm::swf::DoAction(a), {qm::swf::tags::kShowFrame, {}}});
}

Bytes NoVersion() {
  ActionWriter a;
  a.Op(ActionWriter::kStop);
  return qm::swf::WriteMovie({.version = 8, .width = 100, .height = 100, .frames = 1},
                             {qm::swf::DoAction(a), {qm::swf::tags::kShowFrame, {}}});
}

// `first`: an fscommand the movie issues once, as it starts, with its argument.
Bytes Commands(const std::pair<std::string, std::string>& first = {}) {
  ActionWriter init;
  init.SetVariable("last", "");
  if (!first.first.empty()) init.FsCommand(first.first, first.second);

  // c = ExternalInterface.call("loadfile", "cmd.txt")
  ActionWriter poll;
  poll.Push({"c"});
  poll.CallGlobalMethod("flash.external.ExternalInterface", "call", {"loadfile", "cmd.txt"});
  poll.Op(ActionWriter::kSetVariable);

  // The body, when c differs from last.
  ActionWriter body;
  body.Push({"last"}).GetVariable("c").Op(ActionWriter::kSetVariable);
  body.Push({"FSCommand:"}).GetVariable("c").Op(ActionWriter::kAdd2).Push({""}).GetUrl2(0);
  // ExternalInterface.call("savefile", "out/" + c + ".txt", "x")
  body.Push({"x", "out/"})
      .GetVariable("c")
      .Op(ActionWriter::kAdd2)
      .Push({".txt"})
      .Op(ActionWriter::kAdd2)
      .Push({"savefile", std::int32_t{3}})
      .CallPushedMethod("flash.external.ExternalInterface", "call")
      .Op(ActionWriter::kPop);
  // ExternalInterface.call("savefile", "ack.txt", c)
  body.GetVariable("c")
      .Push({"ack.txt", "savefile", std::int32_t{3}})
      .CallPushedMethod("flash.external.ExternalInterface", "call")
      .Op(ActionWriter::kPop);

  // if (c == last) skip the body
  poll.GetVariable("c").GetVariable("last").Op(ActionWriter::kEquals2);
  poll.If(static_cast<std::int16_t>(body.size())).Append(body);

  ActionWriter loop;
  loop.GotoFrame(1).Op(ActionWriter::kPlay);
  return qm::swf::WriteMovie(
      {.version = 8, .width = 1024, .height = 652, .frame_rate = 12, .frames = 3},
      {qm::swf::DoAction(init),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(poll),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(loop),
       {qm::swf::tags::kShowFrame, {}}});
}

Bytes NewFolderFirst() {
  ActionWriter a;
  a.CallGlobalMethod("flash.external.ExternalInterface", "call", {"newfolder", "main.swf/x"})
      .Op(ActionWriter::kPop)
      .CallGlobalMethod("flash.external.ExternalInterface", "call", {"savefile", "after.txt", "x"})
      .Op(ActionWriter::kPop)
      .Op(ActionWriter::kStop);
  return qm::swf::WriteMovie({.version = 8, .width = 1024, .height = 652, .frames = 1},
                             {qm::swf::DoAction(a), {qm::swf::tags::kShowFrame, {}}});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: shell_test_movies OUTPUT_DIR\n";
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const bool ok = qm::swf::SaveMovie(dir + "version_9_0.swf", Version("9", "0")) &&
                  qm::swf::SaveMovie(dir + "version_10_1.swf", Version("10", "1")) &&
                  qm::swf::SaveMovie(dir + "version_10_2.swf", Version("10", "2")) &&
                  qm::swf::SaveMovie(dir + "version_11_0.swf", Version("11", "0")) &&
                  qm::swf::SaveMovie(dir + "version_none.swf", NoVersion()) &&
                  qm::swf::SaveMovie(dir + "commands.swf", Commands()) &&
                  qm::swf::SaveMovie(dir + "exec_first.swf", Commands({"exec", "lesson.swf"})) &&
                  qm::swf::SaveMovie(dir + "newfolder_first.swf", NewFolderFirst());
  if (!ok) {
    std::cerr << "shell_test_movies: cannot write to " << dir << "\n";
    return 1;
  }
  return 0;
}
