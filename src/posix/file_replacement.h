// Replacing files in one step: new content is written beside the file and renamed over
// it, so the name always shows the old file or the new one, never a partial file. There
// is no fsync; a crash of the whole system is not guarded against.
#pragma once

#include <sys/types.h>

#include <string>

#include "posix/posix_files.h"

namespace qm {

// A hidden file beside `target` (".<name>.~XXXXXX" in the target's folder), created
// exclusively for writing. Dropped before PutInPlace succeeded, it is removed.
class FileBeside {
 public:
  // Creates the file with `mode` (the umask applies). Check Fd(): -1 when it could not
  // be created, errno then telling why.
  FileBeside(std::string target, mode_t mode);
  ~FileBeside();
  FileBeside(const FileBeside&) = delete;
  FileBeside& operator=(const FileBeside&) = delete;

  int Fd() const { return fd_.Get(); }
  const std::string& Path() const { return path_; }

  // Closes the file and gives it the target's name: 0 or the errno of the failure. With
  // `no_replace` only where no entry of that name exists (RenameNoReplace with a link).
  int PutInPlace(bool no_replace);

 private:
  std::string target_;
  std::string path_;
  FileDescriptor fd_{-1};
  bool created_ = false;
  bool placed_ = false;
};

// How RenameNoReplace gets by on a file system without a rename that refuses an
// existing name (renameat2 with RENAME_NOREPLACE).
enum class WithoutNoReplace {
  // A hard link to the new name, then the old name dropped: still one step, files only.
  kLink,
  // A plain rename once the new name was seen free: also for folders, not one step.
  kCheckThenRename,
};

// Gives `from` the name `to` unless an entry of that name exists: 0 or an errno value.
int RenameNoReplace(const std::string& from, const std::string& to, WithoutNoReplace fallback);

}  // namespace qm
