#include "swf/movie_header.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "swf/avm1.h"

namespace qm::testing {
namespace {

using swf::Compression;

// A movie from our writer: FileAttributes with the AS3 flag as asked, then one frame.
std::string Movie(char signature, int version, int width, int height, int rate, bool as3,
                  std::size_t cut = 0) {
  swf::MovieHeader header;
  header.version = version;
  header.width = width;
  header.height = height;
  header.frame_rate = rate;
  swf::Bytes bytes = swf::WriteMovie(header, {{swf::tags::kShowFrame, {}}});
  // FileAttributes' flags: after the rectangle, the rate, the count and the tag's header.
  const std::size_t rect = (5 + 4 * (bytes[8] >> 3) + 7) / 8;
  if (as3) bytes[8 + rect + 4 + 2] |= 0x08;
  std::string movie(bytes.begin(), bytes.end());
  if (signature == 'C') {
    uLongf size = compressBound(static_cast<uLong>(movie.size() - 8));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(movie.data() + 8),
             static_cast<uLong>(movie.size() - 8));
    movie = "CWS" + movie.substr(3, 5) + packed.substr(0, size);
  } else if (signature == 'Z') {
    // An LZMA header with a compressed length that covers the rest.
    movie = "ZWS" + movie.substr(3, 5) + std::string("\x10\0\0\0", 4) + std::string(5, '\0') +
            std::string(16, '\0');
  }
  movie.resize(movie.size() - cut);
  return movie;
}

TEST(MovieHeaderTest, ReadsVersionActionScriptCompressionStageAndRate) {
  struct Case {
    const char* name;
    std::string bytes;
    int version;
    Compression compression;
    std::optional<bool> as3;
    std::optional<int> width, height;
    std::optional<double> rate;
    bool problem;
  };
  const Case cases[] = {
      {"uncompressed AS1", Movie('F', 8, 1024, 652, 24, false), 8, Compression::kNone, false, 1024,
       652, 24.0, false},
      {"zlib AS3", Movie('C', 10, 800, 600, 30, true), 10, Compression::kZlib, true, 800, 600, 30.0,
       false},
      {"lzma, body not read", Movie('Z', 11, 640, 480, 12, true), 11, Compression::kLzma,
       std::nullopt, std::nullopt, std::nullopt, std::nullopt, false},
      {"cut short", Movie('F', 9, 550, 400, 24, false, 2), 9, Compression::kNone, std::nullopt, 550,
       400, 24.0, true},
      {"not a movie", "GIF89a, a picture", 0, Compression::kNone, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const swf::MovieFileInfo info = swf::ReadMovieFileInfo(c.bytes);
    EXPECT_EQ(info.flash_version, c.version);
    EXPECT_EQ(info.compression, c.compression);
    EXPECT_EQ(info.as3, c.as3);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.frame_rate, c.rate);
    EXPECT_EQ(!info.problem.empty(), c.problem) << info.problem;
  }
}

}  // namespace
}  // namespace qm::testing
