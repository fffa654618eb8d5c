// The application title and the general error report: what the user sees of an error
// that no handler caught.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace qm {

class IDialogs;

// The executable's file name without folder, cut before its first ".", every
// character after the first lower-cased (A-Z only): "C:\x\COURSE.EXE" gives "Course".
std::string ApplicationTitle(std::string_view executable_path);

// The report's text: the message with a full stop appended, unless it is empty, ends
// in "." or ends in a character that sorts before "." ("!", ")", a blank, ...).
std::string ErrorReportText(std::string_view message);

// The boundary around every entry from the platform into the shell (a control event, a
// timer, a window message, a window's creation): an error that leaves the handler is
// shown in the general error report and the program goes on.
class ErrorBoundary {
 public:
  ErrorBoundary(IDialogs& dialogs, std::string app_title)
      : dialogs_(dialogs), title_(std::move(app_title)) {}

  template <typename F>
  void Run(F&& handler) noexcept {
    try {
      std::forward<F>(handler)();
    } catch (...) {
      Report(std::current_exception());
    }
  }

  // Shows the general error report for `error`; never throws.
  void Report(std::exception_ptr error) noexcept;
  const std::string& Title() const { return title_; }

 private:
  IDialogs& dialogs_;
  std::string title_;
};

}  // namespace qm
