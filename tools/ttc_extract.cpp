// Writes the first font of a TrueType collection (.ttc) as a font file of its own
// (.ttf): the player reads single fonts only. Usage: ttc_extract IN.ttc OUT.ttf
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::uint32_t Be32(const std::string& data, std::size_t at) {
  if (at + 4 > data.size()) throw std::runtime_error("truncated font file");
  return (std::uint32_t{static_cast<unsigned char>(data[at])} << 24) |
         (std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 16) |
         (std::uint32_t{static_cast<unsigned char>(data[at + 2])} << 8) |
         std::uint32_t{static_cast<unsigned char>(data[at + 3])};
}

std::uint16_t Be16(const std::string& data, std::size_t at) {
  if (at + 2 > data.size()) throw std::runtime_error("truncated font file");
  return static_cast<std::uint16_t>((static_cast<unsigned char>(data[at]) << 8) |
                                    static_cast<unsigned char>(data[at + 1]));
}

void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<char>(v >> 24);
  out[at + 1] = static_cast<char>(v >> 16);
  out[at + 2] = static_cast<char>(v >> 8);
  out[at + 3] = static_cast<char>(v);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ttc_extract IN.ttc OUT.ttf\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    const std::string data((std::istreambuf_iterator<char>(in)), {});
    std::size_t font = 0;  // a plain font file is copied as it is
    if (data.compare(0, 4, "ttcf") == 0) {
      if (Be32(data, 8) == 0) throw std::runtime_error("empty font collection");
      font = Be32(data, 12);
    }
    const std::uint16_t tables = Be16(data, font + 4);
    const std::size_t directory = 12 + std::size_t{16} * tables;
    std::string out = data.substr(font, directory);
    if (out.size() != directory) throw std::runtime_error("truncated table directory");
    for (std::uint16_t i = 0; i < tables; ++i) {
      const std::size_t record = font + 12 + std::size_t{16} * i;
      const std::uint32_t offset = Be32(data, record + 8);
      const std::uint32_t length = Be32(data, record + 12);
      if (std::size_t{offset} + length > data.size()) throw std::runtime_error("bad table");
      Put32(out, 12 + std::size_t{16} * i + 8, static_cast<std::uint32_t>(out.size()));
      out.append(data, offset, length);
      out.append((4 - out.size() % 4) % 4, '\0');  // tables start on 4-byte boundaries
    }
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ttc_extract: %s\n", e.what());
    return 1;
  }
  return 0;
}
