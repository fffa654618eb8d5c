// Small POSIX helpers of the file layer: descriptors and folder handles that close
// themselves, tests of what a path names, complete writes, and the file API codes of
// errno values. Paths here are on-disk paths (UTF-8, "/" separators).
#pragma once

#include <dirent.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace qm {

bool EntryExists(const std::string& path);  // anything, a dangling link included
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// "dir/" + name, where an empty folder means the working folder.
std::string JoinPath(const std::string& folder, std::string_view name);
// The folder part of a path: "." without a "/", "/" for an entry of the root.
std::string FolderOf(const std::string& path);
// The folder that should hold `path` does not exist.
bool ParentMissing(const std::string& path);

class DirHandle {
 public:
  explicit DirHandle(const std::string& path);
  ~DirHandle();
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  bool IsOpen() const { return dir_ != nullptr; }
  // The next entry's name, skipping "." and ".."; nullptr at the end.
  const char* Next();

 private:
  DIR* dir_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  void Reset(int fd);
  // Closes now; 0 or the errno of a failed close (an interrupted close has released the
  // descriptor on Linux and counts as done).
  int Close();

 private:
  int fd_;
};

// Writes `a` then `b` completely; 0 or the errno of the failure.
int WriteAll(int fd, std::string_view a, std::string_view b);

// Raises EInOutError with the code for `err` (see StdFileSystem::ErrorCodeFromErrno).
[[noreturn]] void ThrowErrno(int err, bool parent_missing);

// Appends the names of the wanted entries of `folder` in the order the folder holds
// them; with `first_only`, stops at the first one. False when the folder cannot be
// opened.
bool ReadFolder(const std::string& folder, FolderEntries wanted, std::vector<std::string>& names,
                bool first_only = false);
// The folder can be opened for reading ("" cannot).
bool CanOpenFolder(const std::string& folder);
// The folder holds a visible folder.
bool HasSubfolder(const std::string& folder);

}  // namespace qm
