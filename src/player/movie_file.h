// What the standalone player needs to know about the movie it is asked to play: which
// file its parameter text names, and the stage size the movie's header declares.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::text {
class CodePage;
}

namespace qm::player {

// The parameter text: the program's arguments joined by single blanks. The launcher
// passes the movie's path as one argument, spaces included and unquoted; a path typed by
// hand without quotes arrives split at its blanks and is joined back the same way.
std::string ParameterText(const std::vector<std::string>& arguments);

// The parameter text in UTF-8: as it is when it is valid UTF-8, else read in
// `code_page` (a launcher that passes the path in the course's code page).
std::string ParameterInUtf8(const std::string& parameter, const text::CodePage& code_page);

// The movie file the parameter text (UTF-8) names, as it is spelled on disk: "\" counts
// as a separator and a component not found as written is found regardless of letter
// case, as for every path of a course made on Windows. A relative path is taken from the
// working folder. nullopt when no regular file is there.
std::optional<std::filesystem::path> FindMovie(std::string_view parameter);

// How much of a movie's start ReadStageSize needs: a compressed movie's stream begins
// with its Huffman tables, which this always covers.
inline constexpr std::size_t kHeadBytes = 4096;

// The stage of a movie, in pixels.
struct StageSize {
  int width = 0;
  int height = 0;
};

// The stage size declared by the movie's header; `head` holds the file's first
// kHeadBytes bytes. Uncompressed ("FWS") and zlib ("CWS") movies are read; LZMA ("ZWS"),
// a damaged header or an empty stage give nullopt.
std::optional<StageSize> ReadStageSize(std::string_view head);

// The first bytes (at most `size`) of the movie's body, the part after its 8-byte header,
// as they are once uncompressed; `head` holds the file's first bytes. Uncompressed
// ("FWS") and zlib ("CWS") movies are read; anything else gives nullopt.
std::optional<std::string> BodyStart(std::string_view head, std::size_t size);

// What keeps the movie file `bytes` from being played, in a sentence: not a Flash movie,
// or cut short (fewer bytes than its header declares, or a compressed body that ends
// early or is damaged). nullopt for a whole movie. The body of an LZMA movie ("ZWS") is
// checked by its declared length only.
std::optional<std::string> MovieProblem(std::string_view bytes);

}  // namespace qm::player
