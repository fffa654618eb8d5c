// The bridge trace: one JSON object per line for every event between the shell and its
// movies, each with "t" (milliseconds on a monotonic clock since the trace began) and
// "event" (what happened), then the event's own fields. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace qm::trace {

class TraceWriter {
 public:
  // Every line, without its line end, goes to `sink`; `clock` gives monotonic milliseconds.
  using Sink = std::function<void(const std::string& line)>;
  using Clock = std::function<std::int64_t()>;
  TraceWriter(Sink sink, Clock clock);

  // Writes {"t": ..., "event": event, fields...}; `fields` is an object (or null).
  void Write(std::string_view event, const nlohmann::json& fields = nullptr);
  // Milliseconds since the trace began.
  std::int64_t Now() const { return clock_() - start_; }

  // A monotonic clock in milliseconds (the system's steady clock).
  static std::int64_t SteadyMilliseconds();

 private:
  Sink sink_;
  Clock clock_;
  std::int64_t start_;
};

// A trace file: opened (created or truncated) at construction, every line written and
// flushed at once so that a program that ends abruptly keeps what it traced. Raises
// Exception with the system's reason when the file cannot be written.
class TraceFile {
 public:
  explicit TraceFile(const std::string& path);
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  void WriteLine(const std::string& line);

 private:
  std::FILE* file_ = nullptr;
};

// JSON text from ANSI text (the code page's text in UTF-8) and from UTF-16.
std::string AnsiText(std::string_view ansi);
std::string Utf16Text(std::u16string_view utf16);

}  // namespace qm::trace
