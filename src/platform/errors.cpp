#include "platform/errors.h"

namespace qm {

EInOutError::EInOutError(int code) : Exception(MessageFor(code)), code_(code) {}

std::string EInOutError::MessageFor(int code) {
  switch (code) {
    case kFileNotFound:
      return "File not found";
    case kPathNotFound:
      return "Invalid filename";
    case kTooManyOpenFiles:
      return "Too many open files";
    case kAccessDenied:
      return "File access denied";
    case kReadBeyondEnd:
      return "Read beyond end of file";
    case kDiskFull:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}

}  // namespace qm
