// Writes the ActionScript 1 course movies of the read-only course test and the long-day
// benchmark into a folder:
//   read_only.swf  a course movie driven from a folder beside the course, since it may
//                  write nothing in its own: every frame it reads the first line of
//                  "../control/cmd.txt", "SEQ|KIND|NAME|A|B". When that line changed it
//                  carries it out: KIND "call" makes ExternalInterface.call(NAME, A, B),
//                  KIND "fscommand" issues fscommand(NAME, A). Then it writes
//                  "typeof(result):result" to "../control/result.txt" and the line to
//                  "../control/ack.txt" (both with "saveBytes").
//   long_day.swf   a course movie that never rests: every frame it spends 40 ms on
//                  ExternalInterface calls of the file services, five at a time
//                  ("loadfile", "fileexists", "getAppDir", "saveBytes", "loadBytes"),
//                  starts the next sound with fscommand "audio" once a second,
//                  alternating "sounds/a.wav" and "sounds/b.ogg" (the one playing is
//                  cut off), and writes "CALLS SOUNDS" to "progress.txt" (that write
//                  counts as a call too).
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>

#include "swf/avm1.h"

namespace {

using qm::swf::ActionWriter;
using qm::swf::Bytes;
using qm::swf::PushValue;

constexpr const char* kExternalInterface = "flash.external.ExternalInterface";
constexpr std::uint8_t kGetTime = 0x34, kModulo = 0x3F;

// A branch offset of `bytes` (negative: backwards).
std::int16_t Offset(std::ptrdiff_t bytes) {
  return static_cast<std::int16_t>(bytes);
}

// parts[index]
ActionWriter& Part(ActionWriter& a, std::int32_t index) {
  return a.GetVariable("parts").Push({index}).Op(ActionWriter::kGetMember);
}

// ExternalInterface.call("saveBytes", path, <the value on the stack>), result dropped.
ActionWriter& SaveTopOfStack(ActionWriter& a, const std::string& path) {
  return a.Push({path, "saveBytes", std::int32_t{3}})
      .CallPushedMethod(kExternalInterface, "call")
      .Op(ActionWriter::kPop);
}

// A movie of an initial frame, a frame that runs `each_frame`, and a frame that goes
// back to the second.
Bytes Looping(const ActionWriter& init, const ActionWriter& each_frame, int frame_rate) {
  ActionWriter loop;
  loop.GotoFrame(1).Op(ActionWriter::kPlay);
  return qm::swf::WriteMovie(
      {.version = 8, .width = 1024, .height = 652, .frame_rate = frame_rate, .frames = 3},
      {qm::swf::DoAction(init),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(each_frame),
       {qm::swf::tags::kShowFrame, {}},
       qm::swf::DoAction(loop),
       {qm::swf::tags::kShowFrame, {}}});
}

Bytes ReadOnlyCourse() {
  ActionWriter init;
  init.SetVariable("last", "");

  // c = ExternalInterface.call("loadfile", "../control/cmd.txt")
  ActionWriter poll;
  poll.Push({"c"});
  poll.CallGlobalMethod(kExternalInterface, "call", {"loadfile", "../control/cmd.txt"});
  poll.Op(ActionWriter::kSetVariable);

  // r = ExternalInterface.call(parts[2], parts[3], parts[4])
  ActionWriter call;
  call.Push({"r"});
  Part(call, 4);
  Part(call, 3);
  Part(call, 2);
  call.Push({std::int32_t{3}}).CallPushedMethod(kExternalInterface, "call");
  call.Op(ActionWriter::kSetVariable);

  // fscommand(parts[2], parts[3]); r = "sent"
  ActionWriter command;
  command.Push({"FSCommand:"});
  Part(command, 2).Op(ActionWriter::kAdd2);
  Part(command, 3).GetUrl2(0);
  command.SetVariable("r", "sent");

  ActionWriter body;
  body.Push({"last"}).GetVariable("c").Op(ActionWriter::kSetVariable);
  // parts = c.split("|")
  body.Push({"parts", "|", std::int32_t{1}})
      .GetVariable("c")
      .Push({"split"})
      .Op(ActionWriter::kCallMethod)
      .Op(ActionWriter::kSetVariable);
  // if (parts[1] == "fscommand") command else call
  Part(body, 1).Push({"fscommand"}).Op(ActionWriter::kEquals2);
  body.If(Offset(static_cast<std::ptrdiff_t>(call.size()) + 5))
      .Append(call)
      .Jump(Offset(static_cast<std::ptrdiff_t>(command.size())))
      .Append(command);
  // The result, then the acknowledgement.
  body.GetVariable("r").Op(ActionWriter::kTypeOf).Push({":"}).Op(ActionWriter::kAdd2);
  body.GetVariable("r").Op(ActionWriter::kAdd2);
  SaveTopOfStack(body, "../control/result.txt");
  body.GetVariable("c");
  SaveTopOfStack(body, "../control/ack.txt");

  // if (c == last) skip the body
  poll.GetVariable("c").GetVariable("last").Op(ActionWriter::kEquals2);
  poll.If(Offset(static_cast<std::ptrdiff_t>(body.size()))).Append(body);
  return Looping(init, poll, 12);
}

Bytes LongDay() {
  ActionWriter init;
  init.SetVariable("calls", std::int32_t{0});
  init.SetVariable("sounds", std::int32_t{0});
  init.SetVariable("next_sound", std::int32_t{0});
  // files = ["sounds/a.wav", "sounds/b.ogg"]
  init.Push({"files", "sounds/b.ogg", "sounds/a.wav", std::int32_t{2}})
      .Op(ActionWriter::kInitArray)
      .Op(ActionWriter::kSetVariable);

  // fscommand("audio", files[sounds % 2]); sounds += 1; next_sound = getTimer() + 1000
  ActionWriter sound;
  sound.Push({"FSCommand:audio"})
      .GetVariable("files")
      .GetVariable("sounds")
      .Push({std::int32_t{2}})
      .Op(kModulo)
      .Op(ActionWriter::kGetMember)
      .GetUrl2(0);
  sound.Push({"sounds"}).GetVariable("sounds").Push({std::int32_t{1}}).Op(ActionWriter::kAdd2);
  sound.Op(ActionWriter::kSetVariable);
  sound.Push({"next_sound"}).Op(kGetTime).Push({std::int32_t{1000}}).Op(ActionWriter::kAdd2);
  sound.Op(ActionWriter::kSetVariable);

  ActionWriter frame;
  // if (getTimer() < next_sound) skip the sound
  frame.Op(kGetTime).GetVariable("next_sound").Op(ActionWriter::kLess2);
  frame.If(Offset(static_cast<std::ptrdiff_t>(sound.size()))).Append(sound);
  // until = getTimer() + 40
  frame.Push({"until"}).Op(kGetTime).Push({std::int32_t{40}}).Op(ActionWriter::kAdd2);
  frame.Op(ActionWriter::kSetVariable);

  // do { five calls; calls += 5 } while (getTimer() < until)
  ActionWriter calls;
  const std::vector<std::vector<PushValue>> five = {{"loadfile", "data/a.txt"},
                                                    {"fileexists", "data/a.txt"},
                                                    {"getAppDir"},
                                                    {"saveBytes", "data/b.txt", "written"},
                                                    {"loadBytes", "data/b.txt"}};
  for (const auto& args : five) {
    calls.CallGlobalMethod(kExternalInterface, "call", args).Op(ActionWriter::kPop);
  }
  calls.Push({"calls"}).GetVariable("calls").Push({std::int32_t{5}}).Op(ActionWriter::kAdd2);
  calls.Op(ActionWriter::kSetVariable);
  calls.Op(kGetTime).GetVariable("until").Op(ActionWriter::kLess2);
  calls.If(Offset(-static_cast<std::ptrdiff_t>(calls.size()) - 5));
  frame.Append(calls);

  // The progress: saveBytes("progress.txt", calls + " " + sounds); calls += 1
  frame.GetVariable("calls").Push({" "}).Op(ActionWriter::kAdd2);
  frame.GetVariable("sounds").Op(ActionWriter::kAdd2);
  SaveTopOfStack(frame, "progress.txt");
  frame.Push({"calls"}).GetVariable("calls").Push({std::int32_t{1}}).Op(ActionWriter::kAdd2);
  frame.Op(ActionWriter::kSetVariable);
  return Looping(init, frame, 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: course_run_movies OUTPUT_DIR\n";
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  if (!qm::swf::SaveMovie(dir + "read_only.swf", ReadOnlyCourse()) ||
      !qm::swf::SaveMovie(dir + "long_day.swf", LongDay())) {
    std::cerr << "course_run_movies: cannot write to " << dir << "\n";
    return 1;
  }
  return 0;
}
