// The rules for reading the update service's reply. Texts are in the ANSI code page and
// counted in its characters: a double-byte character counts as one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {
namespace text {
class CodePage;
}

namespace update {

inline constexpr std::string_view kCheckPath = "/index.php/index/soft_update/";
inline constexpr std::string_view kNoUpgradeMarker = "ewest";
inline constexpr std::string_view kAddressMarker = "@@@";
inline constexpr std::size_t kMaxDownloadPathChars = 999;

// True when the reply text says there is no upgrade: its last five characters (the whole
// text when it is shorter) are "ewest".
bool MeansNoUpgrade(std::string_view reply_text, const text::CodePage& code_page);

// The download path: the characters after the first "@@@", or, when there is none, the
// characters from the third on; at most 999 of them.
std::string DownloadPath(std::string_view reply_text, const text::CodePage& code_page);

// The last "/"-separated part of an address, or "" when there is none. Characters with
// codes 1 to 32 before a part, after a part and after a "/" are skipped; a part in double
// quotes runs to its closing quote (two quotes inside stand for one); any other part
// runs to the next "/" or character with a code from 1 to 32; a "/" that ends the address
// adds an empty part. The address ends at a NUL.
std::string LastUrlSegment(std::string_view address, const text::CodePage& code_page);

// Whether `name` can be saved as a file right inside the program folder: not empty, not
// "." or "..", and without a separator or a NUL character.
bool IsPlainFileName(std::string_view name, const text::CodePage& code_page);

}  // namespace update
}  // namespace qm
