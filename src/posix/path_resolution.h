// How the file layer compares names: case-insensitively, one code point at a time.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// A UTF-8 name as folded code points: lower case as far as a per-character fold goes
// (ASCII, Latin-1, Latin Extended-A, basic Greek and Cyrillic; enough for the names
// courses use). A byte that starts no valid sequence stands for itself, outside the
// Unicode range so that it equals only the same byte.
std::u32string FoldName(std::string_view name);

// An on-disk path (UTF-8, "/" separators) with every component that does not exist as
// written looked up ignoring case: the exact name wins, else the first match in byte
// order of the names. A component that exists in no case is kept as written, and so is
// everything after it. "." and ".." are kept and followed like any other component.
std::string ResolveDiskPath(const std::string& native);

}  // namespace qm
