// Writes the ActionScript 1 movies of the build into a folder:
//   version.swf     sets "mainver" and "submainver" from the running player's version;
//   bridge_as1.swf  exercises the Flash control from an ActionScript 1 movie (the
//                   end-to-end tests drive it).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "swf/avm1.h"

namespace {

using qm::swf::ActionWriter;
using qm::swf::Bytes;
using qm::swf::PushValue;

constexpr std::int32_t kOne = 1;

// $version is "PLATFORM MAJOR,MINOR,BUILD,REVISION".
Bytes VersionMovie() {
  ActionWriter a;
  a.Push({"parts", ",", kOne, " ", kOne})
      .GetVariable("$version")
      .Push({"split"})
      .Op(ActionWriter::kCallMethod)
      .Push({kOne})
      .Op(ActionWriter::kGetMember)
      .Push({"split"})
      .Op(ActionWriter::kCallMethod)
      .Op(ActionWriter::kSetVariable);
  a.Push({"mainver"}).GetVariable("parts").Push({std::int32_t{0}}).Op(ActionWriter::kGetMember);
  a.Op(ActionWriter::kSetVariable);
  a.Push({"submainver"}).GetVariable("parts").Push({kOne}).Op(ActionWriter::kGetMember);
  a.Op(ActionWriter::kSetVariable);
  a.Op(ActionWriter::kStop);
  // One frame a second: the movie stands still after its first frame, and the hidden
  // control it plays in keeps ticking on the player's background clock at this rate.
  return qm::swf::WriteMovie(
      {.version = 8, .width = 100, .height = 100, .frame_rate = 1, .frames = 1},
      {qm::swf::DoAction(a), {qm::swf::tags::kShowFrame, {}}});
}

// fscommand(name, typeof(r) + ":" + r)
void ReportResult(ActionWriter& a, const std::string& name) {
  a.Push({"FSCommand:" + name})
      .GetVariable("r")
      .Op(ActionWriter::kTypeOf)
      .Push({":"})
      .Op(ActionWriter::kAdd2)
      .GetVariable("r")
      .Op(ActionWriter::kAdd2)
      .GetUrl2(0);
}

// r = ExternalInterface.call(args...); then the result is reported as "reply".
void CallShell(ActionWriter& a, const std::vector<PushValue>& args) {
  a.Push({"r"});
  a.CallGlobalMethod("flash.external.ExternalInterface", "call", args);
  a.Op(ActionWriter::kSetVariable);
  ReportResult(a, "reply");
}

void AddCallback(ActionWriter& a, const std::string& name, const ActionWriter& body) {
  a.DefineFunction("", {"e", "d"}, body);
  a.Push({qm::swf::Null{}, name, std::int32_t{3}});
  a.GetVariable("flash").Push({"external"}).Op(ActionWriter::kGetMember);
  a.Push({"ExternalInterface"}).Op(ActionWriter::kGetMember);
  a.Push({"addCallback"}).Op(ActionWriter::kCallMethod).Op(ActionWriter::kPop);
}

Bytes BridgeMovie() {
  ActionWriter a;
  // Variables for GetVariable.
  a.SetVariable("answer", "42");
  a.Push({"obj", std::int32_t{0}, "Object"})
      .Op(ActionWriter::kNewObject)
      .Op(ActionWriter::kSetVariable);
  a.GetVariable("obj").Push({"inner", "deep"}).Op(ActionWriter::kSetMember);
  a.SetVariable("ticks", std::int32_t{0});

  // Callbacks the shell calls: fscommand("callback", e + "|" + d), reply "got " + e.
  ActionWriter callback;
  callback.Push({"FSCommand:callback"})
      .GetVariable("e")
      .Push({"|"})
      .Op(ActionWriter::kAdd2)
      .GetVariable("d")
      .Op(ActionWriter::kAdd2)
      .GetUrl2(0);
  callback.Push({"got "}).GetVariable("e").Op(ActionWriter::kAdd2).Op(ActionWriter::kReturn);
  AddCallback(a, "DelphiCallBack", callback);
  AddCallback(a, "pickerCallback", callback);

  // The calls into the shell, in order with fscommands.
  a.FsCommand("step", "1");
  CallShell(a, {"loadfile", "data/a.txt"});
  a.FsCommand("step", "2");
  CallShell(a, {"fileexists", "data/a.txt"});
  CallShell(a, {"fileexists", "data/none.txt"});
  CallShell(a, {"getAppDir"});
  CallShell(a, {"noSuchCommand", "x"});
  CallShell(a, {"savefile", "data/b.txt", "a<b & c"});
  CallShell(a, {"loadfile", "data/b.txt"});
  CallShell(a, {"reenter"});
  a.FsCommand("done", "as1");

  // Frames 2 and 3 count while the root timeline plays.
  ActionWriter tick;
  tick.Push({"ticks"}).GetVariable("ticks").Push({kOne}).Op(ActionWriter::kAdd2);
  tick.Op(ActionWriter::kSetVariable);
  ActionWriter loop;
  loop.GotoFrame(1).Op(ActionWriter::kPlay);
  return qm::swf::WriteMovie(
      {.version = 8, .width = 200, .height = 100, .frame_rate = 30, .frames = 3},
      {qm::swf::DoAction(a),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(tick),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(loop),
       {qm::swf::tags::kShowFrame, {}}});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: avm1_movies OUTPUT_DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  if (!qm::swf::SaveMovie(dir + "/version.swf", VersionMovie()) ||
      !qm::swf::SaveMovie(dir + "/bridge_as1.swf", BridgeMovie())) {
    std::cerr << "avm1_movies: cannot write to " << dir << "\n";
    return 1;
  }
  return 0;
}
