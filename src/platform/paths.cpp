#include "platform/paths.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"
#include "text/codepage.h"

namespace qm {

namespace {

// Positions of the separators in `path`. In a double-byte code page the second byte of a
// character may have the value of "\" (CP936: 乗 is 81 5C); only bytes that start a
// character count.
std::vector<std::size_t> SeparatorPositions(std::string_view path) {
  std::vector<std::size_t> positions;
  const bool single_bytes =
      text::Ansi().IsUtf8() || std::all_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      });
  if (single_bytes) {
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (IsPathSeparator(path[i])) positions.push_back(i);
    }
  } else {
    for (std::size_t start : text::Ansi().CharStarts(path)) {
      if (IsPathSeparator(path[start])) positions.push_back(start);
    }
  }
  return positions;
}

std::size_t LastSeparator(std::string_view path) {
  if (path.empty()) return std::string_view::npos;
  const auto positions = SeparatorPositions(path);
  return positions.empty() ? std::string_view::npos : positions.back();
}

std::string_view WithoutTrailingSeparator(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path.back()) && LastSeparator(path) == path.size() - 1) {
    path.remove_suffix(1);
  }
  return path;
}

// Up to and including the last separator.
std::string_view DirectoryPart(std::string_view path) {
  const std::size_t pos = LastSeparator(path);
  return pos == std::string_view::npos ? std::string_view() : path.substr(0, pos + 1);
}

}  // namespace

std::string ToNativeSeparators(std::string_view path) {
  std::string result(path);
  for (std::size_t pos : SeparatorPositions(path)) result[pos] = kPathSep;
  return result;
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(DirectoryPart(path));
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(DirectoryPart(path).size()));
}

std::string ExcludeTrailingSeparator(std::string_view path) {
  return std::string(WithoutTrailingSeparator(path));
}

bool ForceDirectories(IFileSystem& fs, std::string_view path) {
  // Walk up until a folder counts as created, remembering the missing ones. Every folder
  // on the way is a prefix of `path`, so their lengths are enough; each step shortens the
  // path, so the walk ends on any input.
  std::vector<std::size_t> missing;
  std::string_view dir = WithoutTrailingSeparator(path);
  while (dir.size() >= 3 && !fs.DirectoryExists(dir) && DirectoryPart(dir) != dir) {
    missing.push_back(dir.size());
    dir = WithoutTrailingSeparator(DirectoryPart(dir));
  }
  // Then create them top down. A folder that appeared meanwhile (another process) is fine.
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const std::string_view folder = path.substr(0, *it);
    if (!fs.CreateDirectory(folder) && !fs.DirectoryExists(folder)) return false;
  }
  return true;
}

}  // namespace qm
