// Writes the ActionScript 1 movie of the course check's end-to-end test into a folder:
//   check_as1.swf  at start asks for a file that is not there ("loadfile"), plays a sound
//                  that is not there ("audio"), and calls features of the Flash API that
//                  the player does not support (System.showSettings, Camera.get).
#include <cstdint>
#include <iostream>
#include <string>

#include "swf/avm1.h"

int main(int argc, char** argv) {
  using qm::swf::ActionWriter;
  if (argc != 2) {
    std::cerr << "usage: check_test_movies FOLDER\n";
    return 2;
  }
  ActionWriter a;
  a.CallGlobalMethod("flash.external.ExternalInterface", "call", {"loadfile", "data/absent.txt"})
      .Op(ActionWriter::kPop);
  a.FsCommand("audio", "sound/missing.mp3");
  a.CallGlobalMethod("System", "showSettings", {}).Op(ActionWriter::kPop);
  a.CallGlobalMethod("Camera", "get", {}).Op(ActionWriter::kPop);
  a.Op(ActionWriter::kStop);
  const auto movie = qm::swf::WriteMovie({.version = 8, .width = 320, .height = 240, .frames = 1},
                                         {qm::swf::DoAction(a), {qm::swf::tags::kShowFrame, {}}});
  if (!qm::swf::SaveMovie(std::string(argv[1]) + "/check_as1.swf", movie)) {
    std::cerr << "check_test_movies: cannot write into " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
