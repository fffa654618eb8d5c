// The Flash player's console messages as the trace reports them. Ruffle logs through
// console.log with styled text ("%cWARN%c core/src/stub.rs:144%c Encountered stub: ...",
// the styles appended); its level is the word between the first two markers.
#pragma once

#include <string>
#include <string_view>

namespace qm::trace {

struct ConsoleMessage {
  std::string level;   // "info", "warning" or "error"
  std::string source;  // where the player logged it ("core/src/stub.rs:144"), or empty
  std::string text;    // the message itself, without styles
};

// `level` is the page's level for the message ("info", "warning", "error").
ConsoleMessage ReadConsoleMessage(std::string_view level, std::string_view message);

}  // namespace qm::trace
