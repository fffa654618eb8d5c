#include "ui/error_report.h"

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qm {

std::string ApplicationTitle(std::string_view executable_path) {
  std::string name = ExtractFileName(executable_path);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return name;
  // Character by character in the code page: the trail byte of a double-byte
  // character may fall in "A".."Z" and must keep its value.
  const auto starts = text::Ansi().CharStarts(name);
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t begin = starts[i];
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : name.size();
    const std::string_view ch = std::string_view(name).substr(begin, end - begin);
    out += (i > 0 && ch.size() == 1) ? text::LowerAscii(ch) : std::string(ch);
  }
  return out;
}

std::string ErrorReportText(std::string_view message) {
  std::string text(message);
  // The last byte decides: a multi-byte character's bytes all sort after "." in every
  // code page the shell runs with, just as the character itself does.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

void ErrorBoundary::Report(std::exception_ptr error) noexcept {
  try {
    std::string message;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
      message = "Unknown error";
    }
    dialogs_.ShowErrorReport(ErrorReportText(message), title_);
  } catch (...) {
    // The report itself failed (out of memory, a broken window system): nothing more
    // can be shown, and the program goes on.
  }
}

}  // namespace qm
