#include "player/movie_file.h"

#include <zlib.h>

#include <cstdint>
#include <string>
#include <system_error>

#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "text/codepage.h"

namespace qm::player {

std::string ParameterText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& a : arguments) {
    if (!text.empty()) text += ' ';
    text += a;
  }
  return text;
}

std::string ParameterInUtf8(const std::string& parameter, const text::CodePage& code_page) {
  static const text::CodePage utf8("UTF-8");
  const std::u16string read = utf8.ToUtf16(parameter);
  const bool valid = read.find(u'\uFFFD') == std::u16string::npos ||
                     parameter.find("\xEF\xBF\xBD") != std::string::npos;
  return valid ? parameter : code_page.ToUtf8(parameter);
}

std::optional<std::filesystem::path> FindMovie(std::string_view parameter) {
  if (parameter.empty()) return std::nullopt;
  // The parameter is UTF-8 whatever the locale: the shell converts it before starting us.
  static const text::CodePage utf8("UTF-8");
  std::error_code error;
  // Below a course played over the learner's layer, the learner's copy comes first; a
  // relative path is the course's when the working folder is.
  std::string named(parameter);
  if (!FsPathOf(named).is_absolute() && named.front() != '/' && named.front() != '\\') {
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (!error) named = NativeOf(here) + "/" + named;
  }
  const std::filesystem::path path = FsPathOf(SystemFileSystem(utf8)->FindOnDisk(named));
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path;
}

namespace {

// The frame rectangle after the 8-byte header: 5 bits giving the field width n, then
// xmin, xmax, ymin, ymax as signed n-bit numbers, in twips (1/20 pixel).
std::optional<StageSize> ReadRect(const unsigned char* bytes, std::size_t size) {
  if (size < 1) return std::nullopt;
  const int nbits = bytes[0] >> 3;
  const std::size_t total_bits = 5 + 4 * static_cast<std::size_t>(nbits);
  if (nbits == 0 || (total_bits + 7) / 8 > size) return std::nullopt;
  std::size_t bit = 5;
  auto field = [&]() {
    std::int64_t value = 0;
    for (int i = 0; i < nbits; ++i, ++bit) {
      value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    }
    if (value & (std::int64_t{1} << (nbits - 1))) value -= std::int64_t{1} << nbits;
    return value;
  };
  const std::int64_t xmin = field(), xmax = field(), ymin = field(), ymax = field();
  const std::int64_t width = (xmax - xmin) / 20, height = (ymax - ymin) / 20;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return std::nullopt;
  return StageSize{static_cast<int>(width), static_cast<int>(height)};
}

}  // namespace

std::optional<std::string> BodyStart(std::string_view head, std::size_t size) {
  if (head.size() < 8 || head[1] != 'W' || head[2] != 'S') return std::nullopt;
  if (head[0] == 'F') return std::string(head.substr(8, size));
  if (head[0] != 'C') return std::nullopt;
  // Everything after the 8-byte header is one zlib stream.
  std::string out(size, '\0');
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(head.data() + 8));
  stream.avail_in = static_cast<uInt>(head.size() - 8);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_SYNC_FLUSH);
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return std::nullopt;
  return out;
}

std::optional<StageSize> ReadStageSize(std::string_view head) {
  if (head.size() < 9) return std::nullopt;
  // The rectangle is at the body's start and needs at most 17 bytes.
  const auto body = BodyStart(head, 32);
  if (!body) return std::nullopt;
  return ReadRect(reinterpret_cast<const unsigned char*>(body->data()), body->size());
}

std::optional<std::string> MovieProblem(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 8 || bytes[1] != 'W' || bytes[2] != 'S' ||
      (bytes[0] != 'F' && bytes[0] != 'C' && bytes[0] != 'Z')) {
    return "The file is not a Flash movie.";
  }
  // The header's length counts the whole movie as it is once uncompressed.
  const std::uint64_t declared = std::uint64_t{data[4]} | std::uint64_t{data[5]} << 8 |
                                 std::uint64_t{data[6]} << 16 | std::uint64_t{data[7]} << 24;
  const auto cut_short = [&](std::uint64_t have) {
    return "The movie is cut short: " + std::to_string(have) + " of " + std::to_string(declared) +
           " bytes.";
  };
  if (bytes[0] == 'F') {
    return bytes.size() < declared ? std::optional(cut_short(bytes.size())) : std::nullopt;
  }
  if (bytes[0] == 'Z') {
    // 8 bytes of header, the compressed length, 5 bytes of LZMA properties, the body.
    if (bytes.size() < 17) return cut_short(bytes.size());
    const std::uint64_t packed = std::uint64_t{data[8]} | std::uint64_t{data[9]} << 8 |
                                 std::uint64_t{data[10]} << 16 | std::uint64_t{data[11]} << 24;
    if (bytes.size() < 17 + packed) return "The movie is cut short.";
    return std::nullopt;
  }
  // One zlib stream after the header: inflated to its end, it must give the whole movie.
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return "The movie could not be read.";
  stream.next_in = const_cast<Bytef*>(data + 8);
  stream.avail_in = static_cast<uInt>(bytes.size() - 8);
  std::uint64_t total = 8;
  unsigned char out[64 * 1024];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = out;
    stream.avail_out = sizeof out;
    result = inflate(&stream, Z_NO_FLUSH);
    total += sizeof out - stream.avail_out;
    if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // the input ended early
    if (result == Z_BUF_ERROR) result = Z_OK;
  }
  inflateEnd(&stream);
  if (result == Z_STREAM_END && total >= declared) return std::nullopt;
  if (result == Z_STREAM_END || result == Z_BUF_ERROR) return cut_short(total);
  return "The movie is damaged: its compressed data cannot be read.";
}

}  // namespace qm::player
