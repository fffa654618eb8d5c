#include "ui/error_report.h"

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "text/chars.h"

namespace qm {

std::string ApplicationTitle(std::string_view executable_path) {
  std::string name = ExtractFileName(executable_path);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return name;
  // The first character as it is, the rest lower-cased; by characters of the code page,
  // since the trail byte of a double-byte character may fall in "A".."Z".
  const text::Chars chars(name);
  return std::string(chars.At(0)) + chars.LowerAscii(1, chars.Count());
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
