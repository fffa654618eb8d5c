// What a movie file's header says about it: the Flash version it was made for, its
// ActionScript version, its compression, its stage and frame rate, and whether the
// player can read it at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm::swf {

enum class Compression { kNone, kZlib, kLzma };

struct MovieFileInfo {
  int flash_version = 0;
  Compression compression = Compression::kNone;
  // From the FileAttributes tag (ActionScript 1/2 without one); nullopt when the body
  // was not read (LZMA).
  std::optional<bool> as3;
  std::optional<int> width, height;  // the stage in pixels, when the body was read
  std::optional<double> frame_rate;  // frames per second
  std::optional<int> frame_count;
  // Why the player cannot play the file ("not a Flash movie", "cut short"), else empty.
  std::string problem;
};

// Reads the header of the movie file `bytes` (the whole file).
MovieFileInfo ReadMovieFileInfo(std::string_view bytes);

// "none", "zlib", "lzma".
std::string CompressionName(Compression compression);

}  // namespace qm::swf
