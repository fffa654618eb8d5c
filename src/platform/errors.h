// The program's exception family. Every error carries a message text in the ANSI
// code page; the error boundary shows it in the general error report.
#pragma once

#include <stdexcept>
#include <string>

namespace qm {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A failure of the text-file layer, with the system's error code (the codes of the
// Windows file API; other platforms map their own onto them).
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code);
  int Code() const { return code_; }

  // The message shown for a code: "File not found", "Disk full", "I/O error 87", ...
  static std::string MessageFor(int code);

  static constexpr int kFileNotFound = 2;
  static constexpr int kPathNotFound = 3;
  static constexpr int kTooManyOpenFiles = 4;
  static constexpr int kAccessDenied = 5;
  static constexpr int kReadBeyondEnd = 100;
  static constexpr int kDiskFull = 101;

 private:
  int code_;
};

// A text that is not a number where one is required.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A request, a property access or a method call that the Flash control refused; the
// message is the control's own description.
class EFlashControlError : public Exception {
 public:
  using Exception::Exception;
};

// A control that cannot answer now because a movie waits inside its own call into the
// shell; asked again once that call has returned, it can.
class EFlashControlBusy : public EFlashControlError {
 public:
  using EFlashControlError::EFlashControlError;
};

// A malformed ExternalInterface request (no root element, no arguments, ...).
class EBridgeError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace qm
