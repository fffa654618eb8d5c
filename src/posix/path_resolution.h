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

}  // namespace qm
