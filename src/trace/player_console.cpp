#include "trace/player_console.h"

#include <vector>

namespace qm::trace {

namespace {

std::string Trim(std::string_view s) {
  const auto begin = s.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  return std::string(s.substr(begin, s.find_last_not_of(' ') - begin + 1));
}

}  // namespace

ConsoleMessage ReadConsoleMessage(std::string_view level, std::string_view message) {
  ConsoleMessage out{std::string(level), {}, std::string(message)};
  if (message.substr(0, 2) != "%c") return out;
  std::vector<std::string_view> parts;
  for (std::size_t at = 2;;) {
    const std::size_t next = message.find("%c", at);
    parts.push_back(message.substr(at, next == std::string_view::npos ? next : next - at));
    if (next == std::string_view::npos) break;
    at = next + 2;
  }
  // The level's word, the source, then the text with the styles appended: one style per
  // marker, each "color: ...", the level's own with "; background: ...".
  if (parts.size() != 3) return out;
  const std::string word = Trim(parts[0]);
  if (word == "WARN") {
    out.level = "warning";
  } else if (word == "ERROR") {
    out.level = "error";
  } else if (word == "INFO" || word == "DEBUG" || word == "TRACE") {
    out.level = "info";
  }
  out.source = Trim(parts[1]);
  std::string_view text = parts[2];
  const std::size_t background = text.rfind("; background: ");
  const std::size_t styles =
      background == std::string_view::npos ? text.size() : text.rfind(" color: ", background);
  out.text = Trim(text.substr(0, styles));
  return out;
}

}  // namespace qm::trace
