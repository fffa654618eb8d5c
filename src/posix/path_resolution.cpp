// Path resolution of the file layer: ANSI paths to on-disk paths, found component by
// component ignoring letter case.
#include "posix/path_resolution.h"

#include <algorithm>
#include <optional>

#include "posix/posix_files.h"
#include "posix/std_file_system.h"
#include "text/codepage.h"

namespace qm {

namespace {

// Lower case of one code point.
char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

}  // namespace

std::u32string FoldName(std::string_view name) {
  std::u32string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    const auto b = static_cast<unsigned char>(name[i]);
    std::size_t len = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b < 0x80) {
      len = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      c = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      c = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      c = b & 0x07;
      min = 0x10000;
    }
    bool valid = len > 0 && i + len <= name.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto t = static_cast<unsigned char>(name[i + k]);
      valid = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    valid = valid && c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (valid) {
      out.push_back(FoldCodePoint(c));
      i += len;
    } else {
      out.push_back(0x110000 + b);
      ++i;
    }
  }
  return out;
}

std::string StdFileSystem::ToNative(std::string_view ansi_path) const {
  std::string native = code_page_.IsUtf8() ? std::string(ansi_path) : code_page_.ToUtf8(ansi_path);
  // Only after the conversion: in a double-byte code page a trail byte may be 0x5C.
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::string ResolveDiskPath(const std::string& native) {
  if (native.empty() || EntryExists(native)) return native;

  std::string result = native.front() == '/' ? "/" : "";
  bool on_disk = true;  // every component so far exists
  std::size_t pos = 0;
  while (pos < native.size()) {
    std::size_t end = native.find('/', pos);
    if (end == std::string::npos) end = native.size();
    const std::string_view component = std::string_view(native).substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;

    const std::string folder = result;
    if (!result.empty() && result.back() != '/') result += '/';
    const std::size_t start = result.size();
    result += component;
    if (!on_disk || component == "." || component == ".." || EntryExists(result)) continue;

    const std::u32string wanted = FoldName(component);
    std::optional<std::string> best;
    DirHandle dir(folder);
    while (const char* name = dir.Next()) {
      if ((!best || *best > name) && FoldName(name) == wanted) best = name;
    }
    if (best) {
      result.replace(start, std::string::npos, *best);
    } else {
      on_disk = false;  // nothing further down can exist either
    }
  }
  if (native.back() == '/' && result.back() != '/') result += '/';
  return result;
}

std::string StdFileSystem::ResolveNative(const std::string& native) const {
  return ResolveDiskPath(native);
}

std::filesystem::path StdFileSystem::Resolve(std::string_view ansi_path) const {
  return std::filesystem::path(ResolveNative(ToNative(ansi_path)));
}

}  // namespace qm
