// Writes a WebAssembly module without its "name" section (the names of its functions
// and locals, for debuggers and stack traces): the engine keeps a module's bytes for
// as long as it runs, and Ruffle's names are a seventh of its module. Every other
// section is copied byte for byte. Usage: wasm_strip_names IN.wasm OUT.wasm
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

// Reads an unsigned LEB128 number of at most 32 bits at `at`, moving `at` past it.
std::uint32_t ReadU32(const std::string& data, std::size_t& at) {
  std::uint32_t value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (at >= data.size()) throw std::runtime_error("truncated module");
    const auto byte = static_cast<unsigned char>(data[at++]);
    value |= static_cast<std::uint32_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) return value;
  }
  throw std::runtime_error("malformed section size");
}

std::string StripNames(const std::string& module) {
  static const std::string kHeader("\0asm\x01\0\0\0", 8);
  if (module.compare(0, kHeader.size(), kHeader) != 0) {
    throw std::runtime_error("not a WebAssembly module (version 1)");
  }
  std::string out = kHeader;
  std::size_t at = kHeader.size();
  while (at < module.size()) {
    const std::size_t start = at;
    const auto id = static_cast<unsigned char>(module[at++]);
    const std::uint32_t size = ReadU32(module, at);
    if (size > module.size() - at) throw std::runtime_error("truncated section");
    const std::size_t end = at + size;
    bool names = false;
    if (id == 0) {  // a custom section: its name comes first
      std::size_t name_at = at;
      const std::uint32_t length = ReadU32(module, name_at);
      names = name_at <= end && length == 4 && end - name_at >= 4 &&
              module.compare(name_at, 4, "name") == 0;
    }
    if (!names) out.append(module, start, end - start);
    at = end;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wasm_strip_names IN.wasm OUT.wasm\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the module");
    const std::string module{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string stripped = StripNames(module);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(stripped.data(), static_cast<std::streamsize>(stripped.size()));
    if (!out.flush()) throw std::runtime_error("cannot write the module");
    std::printf("%s: %zu bytes, %zu without names\n", argv[1], module.size(), stripped.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wasm_strip_names: %s: %s\n", argv[1], e.what());
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
