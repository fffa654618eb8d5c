#include "posix/posix_files.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace qm {

bool EntryExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool ParentMissing(const std::string& path) {
  return !IsDirectory(FolderOf(path));
}

DirHandle::DirHandle(const std::string& path)
    : dir_(::opendir(path.empty() ? "." : path.c_str())) {}

DirHandle::~DirHandle() {
  if (dir_ != nullptr) ::closedir(dir_);
}

const char* DirHandle::Next() {
  if (dir_ == nullptr) return nullptr;
  while (const dirent* entry = ::readdir(dir_)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") return entry->d_name;
  }
  return nullptr;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

void FileDescriptor::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int FileDescriptor::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int WriteAll(int fd, std::string_view a, std::string_view b) {
  iovec iov[2] = {{const_cast<char*>(a.data()), a.size()}, {const_cast<char*>(b.data()), b.size()}};
  iovec* cur = iov;
  int count = 2;
  while (count > 0) {
    if (cur->iov_len == 0) {
      ++cur;
      --count;
      continue;
    }
    const ssize_t written = ::writev(fd, cur, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return ENOSPC;
    auto done = static_cast<std::size_t>(written);
    while (count > 0 && done >= cur->iov_len) {
      done -= cur->iov_len;
      ++cur;
      --count;
    }
    if (count > 0) {
      cur->iov_base = static_cast<char*>(cur->iov_base) + done;
      cur->iov_len -= done;
    }
  }
  return 0;
}

bool ReadFolder(const std::string& folder, FolderEntries wanted, std::vector<std::string>& names,
                bool first_only) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (wanted == FolderEntries::kAll) {
      const std::string_view view = name;
      if (view == "." || view == "..") continue;
    } else {
      if (name[0] == '.') continue;
      unsigned char type = entry->d_type;
      if (type == DT_LNK || type == DT_UNKNOWN) {
        struct stat st;
        if (::fstatat(::dirfd(dir), name, &st, 0) != 0) continue;  // a dangling link
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type != (wanted == FolderEntries::kVisibleFolders ? DT_DIR : DT_REG)) continue;
    }
    names.emplace_back(name);
    if (first_only) break;
  }
  ::closedir(dir);
  return true;
}

bool CanOpenFolder(const std::string& folder) {
  if (folder.empty()) return false;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  ::closedir(dir);
  return true;
}

bool HasSubfolder(const std::string& folder) {
  std::vector<std::string> names;
  return ReadFolder(folder, FolderEntries::kVisibleFolders, names, true) && !names.empty();
}

}  // namespace qm
