#include "swf/movie_header.h"

#include "player/movie_file.h"
#include "swf/avm1.h"

namespace qm::swf {

MovieFileInfo ReadMovieFileInfo(std::string_view bytes) {
  MovieFileInfo header;
  if (const auto problem = player::MovieProblem(bytes)) header.problem = *problem;
  if (bytes.size() < 8 || bytes[1] != 'W' || bytes[2] != 'S' ||
      (bytes[0] != 'F' && bytes[0] != 'C' && bytes[0] != 'Z')) {
    return header;
  }
  header.compression = bytes[0] == 'C'   ? Compression::kZlib
                       : bytes[0] == 'Z' ? Compression::kLzma
                                         : Compression::kNone;
  header.flash_version = static_cast<unsigned char>(bytes[3]);

  // The ActionScript version, from the FileAttributes tag; an LZMA body is not read.
  if (header.compression != Compression::kLzma && header.problem.empty()) {
    if (const auto info = ReadMovieInfo(Bytes(bytes.begin(), bytes.end()))) {
      header.as3 = info->actionscript3;
    }
  }
  // The body starts with the frame rectangle (5 + 4n bits), the frame rate (8.8 fixed
  // point) and the frame count.
  const std::string_view head = bytes.substr(0, player::kHeadBytes);
  if (const auto stage = player::ReadStageSize(head)) {
    header.width = stage->width;
    header.height = stage->height;
  }
  const auto body = player::BodyStart(head, 32);
  if (!body || body->empty()) return header;
  const auto* b = reinterpret_cast<const unsigned char*>(body->data());
  const std::size_t rect = (5 + 4 * static_cast<std::size_t>(b[0] >> 3) + 7) / 8;
  if (rect + 4 > body->size()) return header;
  header.frame_rate = b[rect + 1] + b[rect] / 256.0;
  header.frame_count = b[rect + 2] | b[rect + 3] << 8;
  return header;
}

std::string CompressionName(Compression compression) {
  switch (compression) {
    case Compression::kZlib:
      return "zlib";
    case Compression::kLzma:
      return "lzma";
    case Compression::kNone:
      break;
  }
  return "none";
}

}  // namespace qm::swf
