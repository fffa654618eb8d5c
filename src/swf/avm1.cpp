#include "swf/avm1.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace qm::swf {

namespace {

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xff));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

void PutString(Bytes& out, const std::string& s) {
  if (s.find('\0') != std::string::npos) throw std::invalid_argument("NUL inside an SWF string");
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

std::uint32_t Get32(const Bytes& in, std::size_t at) {
  return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
         static_cast<std::uint32_t>(in[at + 2]) << 16 |
         static_cast<std::uint32_t>(in[at + 3]) << 24;
}

std::uint16_t Get16(const Bytes& in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | in[at + 1] << 8);
}

// Appends `count` bits of `value` (highest first) to a bit stream.
class BitWriter {
 public:
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> used_);
      used_ = (used_ + 1) % 8;
    }
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  int used_ = 0;
};

Bytes Rect(int width_twips, int height_twips) {
  int bits = 1;
  while ((1 << (bits - 1)) <= std::max(width_twips, height_twips)) ++bits;
  BitWriter w;
  w.Put(static_cast<std::uint32_t>(bits), 5);
  w.Put(0, bits);
  w.Put(static_cast<std::uint32_t>(width_twips), bits);
  w.Put(0, bits);
  w.Put(static_cast<std::uint32_t>(height_twips), bits);
  return w.bytes();
}

// Length of the RECT at the start of the movie's body.
std::size_t RectSize(std::uint8_t first) {
  const int bits = first >> 3;
  return static_cast<std::size_t>((5 + 4 * bits + 7) / 8);
}

}  // namespace

void ActionWriter::Record(std::uint8_t code, const Bytes& payload) {
  bytes_.push_back(code);
  if (code >= 0x80) {
    if (payload.size() > 0xffff) throw std::length_error("action record too long");
    Put16(bytes_, static_cast<std::uint32_t>(payload.size()));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  }
}

ActionWriter& ActionWriter::Op(std::uint8_t code) {
  Record(code, {});
  return *this;
}

ActionWriter& ActionWriter::Push(const std::vector<PushValue>& values) {
  Bytes p;
  for (const PushValue& v : values) {
    if (const auto* s = std::get_if<std::string>(&v)) {
      p.push_back(0);
      PutString(p, *s);
    } else if (const auto* i = std::get_if<std::int32_t>(&v)) {
      p.push_back(7);
      Put32(p, static_cast<std::uint32_t>(*i));
    } else if (const auto* b = std::get_if<bool>(&v)) {
      p.push_back(5);
      p.push_back(*b ? 1 : 0);
    } else if (std::holds_alternative<Null>(v)) {
      p.push_back(2);
    } else {
      p.push_back(3);
    }
  }
  Record(0x96, p);
  return *this;
}

ActionWriter& ActionWriter::GetUrl(const std::string& url, const std::string& target) {
  Bytes p;
  PutString(p, url);
  PutString(p, target);
  Record(0x83, p);
  return *this;
}

ActionWriter& ActionWriter::GetUrl2(std::uint8_t flags) {
  Record(0x9A, {flags});
  return *this;
}

ActionWriter& ActionWriter::DefineFunction(const std::string& name,
                                           const std::vector<std::string>& params,
                                           const ActionWriter& body) {
  Bytes p;
  PutString(p, name);
  Put16(p, static_cast<std::uint32_t>(params.size()));
  for (const std::string& param : params) PutString(p, param);
  if (body.size() > 0xffff) throw std::length_error("function body too long");
  Put16(p, static_cast<std::uint32_t>(body.size()));
  Record(0x9B, p);
  bytes_.insert(bytes_.end(), body.bytes_.begin(), body.bytes_.end());
  return *this;
}

ActionWriter& ActionWriter::Jump(std::int16_t offset) {
  Bytes p;
  Put16(p, static_cast<std::uint16_t>(offset));
  Record(0x99, p);
  return *this;
}

ActionWriter& ActionWriter::GotoFrame(std::uint16_t index) {
  Bytes p;
  Put16(p, index);
  Record(0x81, p);
  return *this;
}

ActionWriter& ActionWriter::If(std::int16_t offset) {
  Bytes p;
  Put16(p, static_cast<std::uint16_t>(offset));
  Record(0x9D, p);
  return *this;
}

ActionWriter& ActionWriter::GetVariable(const std::string& name) {
  return Push({name}).Op(kGetVariable);
}

ActionWriter& ActionWriter::SetVariable(const std::string& name, const PushValue& value) {
  return Push({name, value}).Op(kSetVariable);
}

ActionWriter& ActionWriter::CallGlobalMethod(const std::string& object_path,
                                             const std::string& method,
                                             const std::vector<PushValue>& args) {
  std::vector<PushValue> pushed(args.rbegin(), args.rend());
  pushed.emplace_back(static_cast<std::int32_t>(args.size()));
  Push(pushed);
  return CallPushedMethod(object_path, method);
}

ActionWriter& ActionWriter::CallPushedMethod(const std::string& object_path,
                                             const std::string& method) {
  std::size_t start = 0;
  bool first = true;
  while (true) {
    const std::size_t dot = object_path.find('.', start);
    const std::string part = object_path.substr(start, dot - start);
    Push({part}).Op(first ? kGetVariable : kGetMember);
    first = false;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return Push({method}).Op(kCallMethod);
}

ActionWriter& ActionWriter::FsCommand(const std::string& command, const std::string& arg) {
  return GetUrl("FSCommand:" + command, arg);
}

ActionWriter& ActionWriter::Append(const ActionWriter& other) {
  bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
  return *this;
}

Bytes EncodeTag(const Tag& tag) {
  Bytes out;
  if (tag.body.size() < 0x3f) {
    Put16(out, static_cast<std::uint32_t>(tag.code << 6 | tag.body.size()));
  } else {
    Put16(out, static_cast<std::uint32_t>(tag.code << 6 | 0x3f));
    Put32(out, static_cast<std::uint32_t>(tag.body.size()));
  }
  out.insert(out.end(), tag.body.begin(), tag.body.end());
  return out;
}

Tag DoAction(const ActionWriter& actions) {
  Tag tag{tags::kDoAction, actions.bytes()};
  tag.body.push_back(0);  // ActionEndFlag
  return tag;
}

Bytes WriteMovie(const MovieHeader& header, const std::vector<Tag>& tags) {
  Bytes body = Rect(header.width * 20, header.height * 20);
  Put16(body, static_cast<std::uint32_t>(header.frame_rate << 8));
  Put16(body, header.frames);
  const Bytes attributes = EncodeTag({tags::kFileAttributes, {0, 0, 0, 0}});
  body.insert(body.end(), attributes.begin(), attributes.end());
  for (const Tag& tag : tags) {
    const Bytes encoded = EncodeTag(tag);
    body.insert(body.end(), encoded.begin(), encoded.end());
  }
  const Bytes end = EncodeTag({tags::kEnd, {}});
  body.insert(body.end(), end.begin(), end.end());

  Bytes out = {'F', 'W', 'S', static_cast<std::uint8_t>(header.version)};
  Put32(out, static_cast<std::uint32_t>(8 + body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

namespace {

// The whole movie uncompressed, or nullopt.
std::optional<Bytes> Inflate(const Bytes& swf) {
  if (swf.size() < 8) return std::nullopt;
  if (swf[0] == 'F') return swf;
  if (swf[0] != 'C') return std::nullopt;
  const std::uint32_t length = Get32(swf, 4);
  if (length < 8 || length > (1u << 30)) return std::nullopt;
  Bytes out(swf.begin(), swf.begin() + 8);
  out[0] = 'F';
  out.resize(length);
  uLongf size = length - 8;
  const int rc = uncompress(out.data() + 8, &size, swf.data() + 8, swf.size() - 8);
  // Tools write a length that does not always match; a short stream is kept as read.
  if (rc != Z_OK && rc != Z_BUF_ERROR) return std::nullopt;
  out.resize(8 + size);
  return out;
}

}  // namespace

std::optional<MovieInfo> ReadMovieInfo(const Bytes& swf) {
  if (swf.size() < 8 || swf[1] != 'W' || swf[2] != 'S') return std::nullopt;
  if (swf[0] != 'F' && swf[0] != 'C' && swf[0] != 'Z') return std::nullopt;
  MovieInfo info;
  info.version = swf[3];
  info.compressed = swf[0] == 'C';
  if (swf[0] == 'Z') {  // LZMA: the header is all that can be read without a decoder
    info.actionscript3 = info.version >= 9;
    return info;
  }
  const auto whole = Inflate(swf);
  if (!whole || whole->size() < 9) return std::nullopt;
  const std::size_t tags_at = 8 + RectSize((*whole)[8]) + 4;
  if (tags_at + 2 > whole->size()) return std::nullopt;
  const std::uint16_t head = Get16(*whole, tags_at);
  std::size_t body_at = tags_at + 2;
  if ((head & 0x3f) == 0x3f) body_at += 4;
  if (head >> 6 == tags::kFileAttributes && body_at < whole->size()) {
    info.actionscript3 = ((*whole)[body_at] & 0x08) != 0;
  }
  return info;
}

std::optional<Bytes> AddHostHooks(const Bytes& swf) {
  const auto info = ReadMovieInfo(swf);
  if (!info || info->actionscript3 || swf[0] == 'Z') return std::nullopt;
  auto whole = Inflate(swf);
  if (!whole || whole->size() < 9) return std::nullopt;
  std::size_t at = 8 + RectSize((*whole)[8]) + 4;
  if (at + 2 > whole->size()) return std::nullopt;

  // FileAttributes must stay the first tag.
  const std::uint16_t head = Get16(*whole, at);
  if (head >> 6 == tags::kFileAttributes) {
    std::size_t length = head & 0x3f;
    std::size_t header = 2;
    if (length == 0x3f) {
      if (at + 6 > whole->size()) return std::nullopt;
      length = Get32(*whole, at + 2);
      header = 6;
    }
    at += header + length;
    if (at > whole->size()) return std::nullopt;
  }

  ActionWriter get_variable, play, stop, hooks;
  get_variable.GetVariable("path").Op(ActionWriter::kGetVariable).Op(ActionWriter::kReturn);
  play.CallGlobalMethod("_root", "play", {}).Op(ActionWriter::kPop);
  stop.CallGlobalMethod("_root", "stop", {}).Op(ActionWriter::kPop);
  const std::pair<const char*, const ActionWriter*> callbacks[] = {
      {kGetVariableHook, &get_variable}, {kPlayHook, &play}, {kStopHook, &stop}};
  for (const auto& [name, body] : callbacks) {
    // flash.external.ExternalInterface.addCallback(name, null, function (path) {...})
    hooks.DefineFunction("", {"path"}, *body);
    hooks.Push({Null{}, std::string(name), std::int32_t{3}});
    hooks.CallPushedMethod("flash.external.ExternalInterface", "addCallback")
        .Op(ActionWriter::kPop);
  }
  const Bytes tag = EncodeTag(DoAction(hooks));
  whole->insert(whole->begin() + static_cast<std::ptrdiff_t>(at), tag.begin(), tag.end());
  const std::uint32_t length = static_cast<std::uint32_t>(whole->size());
  for (int i = 0; i < 4; ++i) (*whole)[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  return whole;
}

bool SaveMovie(const std::string& path, const Bytes& movie) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace qm::swf
