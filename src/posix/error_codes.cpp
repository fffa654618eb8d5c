// The Windows file API codes of errno values, as EInOutError carries them.
#include <cerrno>

#include "platform/errors.h"
#include "posix/posix_files.h"
#include "posix/std_file_system.h"

namespace qm {

int StdFileSystem::ErrorCodeFromErrno(int err, bool parent_missing) {
  switch (err) {
    case ENOENT:
      return parent_missing ? EInOutError::kPathNotFound : EInOutError::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
      return EInOutError::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return EInOutError::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return EInOutError::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return EInOutError::kDiskFull;
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case EBUSY:
    case ETXTBSY:
      return 32;  // ERROR_SHARING_VIOLATION
    case EEXIST:
      return 80;  // ERROR_FILE_EXISTS
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case ENOTEMPTY:
      return 145;  // ERROR_DIR_NOT_EMPTY
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

void ThrowErrno(int err, bool parent_missing) {
  throw EInOutError(StdFileSystem::ErrorCodeFromErrno(err, parent_missing));
}

}  // namespace qm
