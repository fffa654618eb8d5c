#include "posix/std_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "platform/errors.h"
#include "posix/file_replacement.h"
#include "posix/path_resolution.h"
#include "posix/posix_files.h"
#include "text/codepage.h"
#include "text/wildcard.h"

namespace qm {

namespace {

// Windows-style wildcard match on folded names ("*.*" matches every name).
bool WildcardMatch(const std::u32string& pattern, const std::u32string& name) {
  return text::WildcardMatch(pattern, name, text::WildcardDots::kFileSearch);
}

}  // namespace

StdFileSystem::StdFileSystem(const text::CodePage& code_page)
    : StdFileSystem(code_page, ProcessLearnerLayer()) {}

StdFileSystem::StdFileSystem(const text::CodePage& code_page, std::optional<LearnerLayer> layer)
    : code_page_(code_page), layer_(std::move(layer)) {}

bool StdFileSystem::Layered(const std::string& native) const {
  return layer_ && PathInCourse(*layer_, native).has_value();
}

std::string StdFileSystem::FindOnDisk(std::string_view ansi_path) const {
  return FindForReading(layer_, ToNative(ansi_path));
}

std::string StdFileSystem::NativePath(std::string_view ansi_path) const {
  return Resolve(ansi_path).string();
}

std::string StdFileSystem::FindNative(const std::string& path) const {
  return FindForReading(layer_, path);
}

std::vector<std::string> StdFileSystem::FolderPlaces(const std::string& folder) const {
  return FoldersOf(layer_, folder);
}

bool StdFileSystem::ListFolder(const std::string& folder, FolderEntries wanted,
                               std::vector<std::string>& names, bool first_only) const {
  return ReadLayeredFolder(layer_, folder, wanted, names, first_only);
}

bool StdFileSystem::CanOpenFolder(const std::string& folder) const {
  return CanOpenLayeredFolder(layer_, folder);
}

bool StdFileSystem::HasSubfolder(const std::string& folder) const {
  return HasLayeredSubfolder(layer_, folder);
}

bool StdFileSystem::RenameEntry(const std::string& from, const std::string& to) {
  return RenameNoReplace(from, to, WithoutNoReplace::kCheckThenRename) == 0;
}

std::unique_ptr<IFileSystem> SystemFileSystem(const text::CodePage& code_page) {
  return std::make_unique<StdFileSystem>(code_page);
}

std::string StdFileSystem::PlaceOnDisk(std::string_view ansi_path) const {
  return PlaceForWriting(layer_, ToNative(ansi_path));
}

bool StdFileSystem::FirstMatchIsFile(std::string_view pattern) {
  try {
    const std::string native = ToNative(pattern);
    const std::size_t slash = native.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view name = std::string_view(native).substr(name_start);
    if (name.empty()) return false;
    if (name.find_first_of("*?") == std::string_view::npos) {
      struct stat st;
      if (!Layered(native) && ::stat(native.c_str(), &st) == 0) return S_ISREG(st.st_mode);
      return IsRegularFile(FindForReading(layer_, native));
    }

    const std::u32string wanted = FoldName(name);
    // The learner's folder is searched before the course's; in each, "." and ".." come
    // first, as on Windows (both are folders), then the rest in case-insensitive order
    // (byte order between names equal but for case).
    for (const std::string& folder : FoldersOf(layer_, native.substr(0, name_start))) {
      if (!IsDirectory(folder.empty() ? "." : folder)) continue;
      if (WildcardMatch(wanted, U".") || WildcardMatch(wanted, U"..")) return false;
      std::optional<std::pair<std::u32string, std::string>> first;
      DirHandle dir(folder);
      while (const char* entry = dir.Next()) {
        std::u32string folded = FoldName(entry);
        if (!WildcardMatch(wanted, folded)) continue;
        std::pair<std::u32string, std::string> key(std::move(folded), entry);
        if (!first || key < *first) first = std::move(key);
      }
      if (first) return IsRegularFile(JoinPath(folder, first->second));
    }
    return false;
  } catch (...) {
    return false;
  }
}

bool StdFileSystem::DirectoryExists(std::string_view path) {
  const std::string native = ToNative(path);
  return IsDirectory(FindForReading(layer_, native)) ||
         (Layered(native) && IsDirectory(ResolveNative(native)));
}

bool StdFileSystem::CreateDirectory(std::string_view path) {
  const std::string native = ToNative(path);
  // Below a layered course a folder that either holds already exists.
  if (Layered(native) && EntryExists(FindForReading(layer_, native))) return false;
  return ::mkdir(PlaceForWriting(layer_, native).c_str(), 0777) == 0;
}

int StdFileSystem::OpenForReading(std::string_view path, int extra_flags) const {
  // The path as written is tried first: resolving costs a look-up per component, and a
  // course's paths are usually right.
  // Below a layered course the learner's copy comes first.
  std::string resolved = ToNative(path);
  if (Layered(resolved)) resolved = FindForReading(layer_, resolved);
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | extra_flags;
  int fd = ::open(resolved.c_str(), flags);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
    resolved = ResolveNative(resolved);
    fd = ::open(resolved.c_str(), flags);
  }
  if (fd < 0) {
    const int err = errno;
    ThrowErrno(err, ParentMissing(resolved));
  }
  return fd;
}

std::string StdFileSystem::ReadFirstLine(std::string_view path) {
  // Non-blocking, so that a pipe without a writer cannot hang us; for files and folders
  // the flag changes nothing.
  FileDescriptor fd(OpenForReading(path, O_NONBLOCK));

  std::string line;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        // A pipe or device with nothing to read yet: wait for it like a plain read would.
        const int flags = ::fcntl(fd.Get(), F_GETFL);
        if (flags >= 0 && ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == 0) continue;
      }
      ThrowErrno(errno, false);  // a folder gives EISDIR: access denied
    }
    if (got == 0) return line;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n' || c == '\x1a') return line;
      if (c != '\r') line += c;
    }
  }
}

std::string StdFileSystem::ReadBinaryFile(std::string_view path) {
  FileDescriptor fd(OpenForReading(path, 0));
  std::string content;
  struct stat st;
  if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
    content.reserve(static_cast<std::size_t>(st.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, false);  // a folder gives EISDIR: access denied
    }
    if (got == 0) return content;
    content.append(buffer, static_cast<std::size_t>(got));
  }
}

bool StdFileSystem::DeleteFile(std::string_view path) {
  try {
    // The file a read sees: the learner's copy, else the course's (which stays where the
    // course is read-only).
    const std::string target = FindOnDisk(path);
    struct stat st;
    if (target.empty() || ::lstat(target.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(target.c_str()) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
