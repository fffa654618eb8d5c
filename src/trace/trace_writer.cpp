#include "trace/trace_writer.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::trace {

TraceWriter::TraceWriter(Sink sink, Clock clock)
    : sink_(std::move(sink)), clock_(std::move(clock)), start_(clock_()) {}

void TraceWriter::Write(std::string_view event, const nlohmann::json& fields) {
  // "t" and "event" first, then the fields. Texts that are not UTF-8 (a code page's
  // default character cut in two) are replaced, never a reason to lose the line.
  std::string line = "{\"t\":" + std::to_string(Now()) + ",\"event\":";
  line += nlohmann::json(std::string(event)).dump();
  if (fields.is_object() && !fields.empty()) {
    const std::string rest = fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += ',';
    line.append(rest, 1, std::string::npos);
  } else {
    line += '}';
  }
  sink_(line);
}

std::int64_t TraceWriter::SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
  if (file_ == nullptr) {
    throw Exception("cannot write the trace file " + path + ": " + std::strerror(errno));
  }
}

TraceFile::~TraceFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void TraceFile::WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

std::string AnsiText(std::string_view ansi) {
  return text::Ansi().ToUtf8(ansi);
}

std::string Utf16Text(std::u16string_view utf16) {
  return text::Utf16ToUtf8(utf16);
}

}  // namespace qm::trace
