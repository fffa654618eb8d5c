// A small writer of SWF files with ActionScript 1 bytecode, and the hooks the Flash
// control adds to a course movie so that the shell can read its variables and drive
// its root timeline (the web player offers neither).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qm::swf {

using Bytes = std::vector<std::uint8_t>;

struct Null {};
struct Undefined {};
using PushValue = std::variant<std::string, std::int32_t, bool, Null, Undefined>;

// Action records, appended in order.
class ActionWriter {
 public:
  // Action codes used without operands.
  static constexpr std::uint8_t kNextFrame = 0x04, kPlay = 0x06, kStop = 0x07, kAdd2 = 0x47,
                                kLess2 = 0x48, kEquals2 = 0x49, kNot = 0x12, kPop = 0x17,
                                kGetVariable = 0x1C, kSetVariable = 0x1D, kGetMember = 0x4E,
                                kSetMember = 0x4F, kCallFunction = 0x3D, kCallMethod = 0x52,
                                kReturn = 0x3E, kTypeOf = 0x44, kToString = 0x4B, kInitArray = 0x42,
                                kInitObject = 0x43, kNewObject = 0x40;

  ActionWriter& Op(std::uint8_t code);
  ActionWriter& Push(const std::vector<PushValue>& values);
  // fscommand with fixed texts.
  ActionWriter& GetUrl(const std::string& url, const std::string& target);
  // GetURL2 with url and target from the stack.
  ActionWriter& GetUrl2(std::uint8_t flags);
  // An anonymous function (pushed) or a named one (defined in the current scope).
  ActionWriter& DefineFunction(const std::string& name, const std::vector<std::string>& params,
                               const ActionWriter& body);
  // Branches: `offset` bytes from the end of the record.
  ActionWriter& Jump(std::int16_t offset);
  ActionWriter& GotoFrame(std::uint16_t index);  // from 0
  ActionWriter& If(std::int16_t offset);

  // Shortcuts for the common sequences.
  ActionWriter& GetVariable(const std::string& name);
  ActionWriter& SetVariable(const std::string& name, const PushValue& value);
  // object.method(args...) for the object at a dotted path ("flash.external.X"): pushes
  // the arguments, the count, then calls; the result stays on the stack.
  ActionWriter& CallGlobalMethod(const std::string& object_path, const std::string& method,
                                 const std::vector<PushValue>& args);
  // The same call with the arguments (last first) and their count already pushed.
  ActionWriter& CallPushedMethod(const std::string& object_path, const std::string& method);
  ActionWriter& FsCommand(const std::string& command, const std::string& arg);

  const Bytes& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  ActionWriter& Append(const ActionWriter& other);

 private:
  void Record(std::uint8_t code, const Bytes& payload);
  Bytes bytes_;
};

// One tag: code and body.
struct Tag {
  std::uint16_t code = 0;
  Bytes body;
};

namespace tags {
constexpr std::uint16_t kEnd = 0, kShowFrame = 1, kSetBackgroundColor = 9, kDoAction = 12,
                        kFileAttributes = 69;
}

Bytes EncodeTag(const Tag& tag);
Tag DoAction(const ActionWriter& actions);

// An uncompressed ActionScript 1/2 movie of `tags` (FileAttributes is added first, the
// End tag last); `frames` is the count of ShowFrame tags inside.
struct MovieHeader {
  int version = 8;
  int width = 550, height = 400;  // pixels
  int frame_rate = 24;
  std::uint16_t frames = 1;
};
Bytes WriteMovie(const MovieHeader& header, const std::vector<Tag>& tags);
// Writes `movie` to the file at `path`; false when it could not be written.
bool SaveMovie(const std::string& path, const Bytes& movie);

// What the shell learns from a movie's header.
struct MovieInfo {
  int version = 0;
  bool compressed = false;  // zlib ("CWS")
  bool actionscript3 = false;
};
std::optional<MovieInfo> ReadMovieInfo(const Bytes& swf);

// Names of the ExternalInterface callbacks the hooks register.
inline constexpr const char* kGetVariableHook = "__qm_getvariable";
inline constexpr const char* kPlayHook = "__qm_play";
inline constexpr const char* kStopHook = "__qm_stop";

// The movie with a DoAction at the start of its first frame that registers the hooks,
// uncompressed; nullopt when the movie is not an ActionScript 1/2 movie this can
// change (ActionScript 3, LZMA, damaged).
std::optional<Bytes> AddHostHooks(const Bytes& swf);

}  // namespace qm::swf
