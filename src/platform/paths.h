// Path helpers shared by every part of the shell. Paths are ANSI text joined by plain
// concatenation; off Windows "\" is accepted as a separator everywhere.
#pragma once

#include <string>
#include <string_view>

namespace qm {

class IFileSystem;

#ifdef _WIN32
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif

inline bool IsPathSeparator(char c) {
  return c == '/' || c == '\\';
}

// Where the shell turns "/" into "\" on Windows, it turns every separator into the
// native one here.
std::string ToNativeSeparators(std::string_view path);

// The part of `path` up to and including its last separator ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// The part after the last separator.
std::string ExtractFileName(std::string_view path);
// `path` without one trailing separator.
std::string ExcludeTrailingSeparator(std::string_view path);

// Creates `path` and every missing folder above it. A path shorter than 3 characters,
// an existing folder and a path that is its own parent count as created. True when the
// folder counts as created.
bool ForceDirectories(IFileSystem& fs, std::string_view path);

}  // namespace qm
