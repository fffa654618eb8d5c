// quillmere-headless: the shell's real logic driven by JSON lines instead of a movie
// and a user. Input and output formats are described in the README.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qm::headless {

struct DriverOptions {
  std::string app_dir;                        // UTF-8, ends in a separator
  std::optional<std::string> common_appdata;  // UTF-8; replaces the shell's answer
  std::string codepage;                       // "" for the locale's
  std::string app_title;                      // UTF-8; the application title
  std::optional<std::string> update_url;      // replaces the update service's base address
  // What the version movie sets as "mainver" and "submainver"; nullopt: nothing.
  std::optional<std::pair<std::string, std::string>> flash_version =
      std::pair<std::string, std::string>{"32", "0"};
};

class Driver {
 public:
  // Every output line (one JSON object, no line break) goes to `out`.
  Driver(const DriverOptions& options, std::function<void(const std::string&)> out);
  ~Driver();

  // Creates the main window (its FormCreate runs).
  void Start();
  // Handles one input line. False once the program has ended.
  bool HandleLine(std::string_view line);
  // The end of the input closes the main window.
  void Finish();
  bool Ended() const;
  // The exit code the program ended with (0 when its window was closed).
  int ExitStatus() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::optional<std::pair<std::string, std::string>> flash_version_;
};

// The program: parses the command line, runs the driver over `in`, writes to `out`.
int RunHeadless(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qm::headless
