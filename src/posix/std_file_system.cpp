#include "posix/std_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/errors.h"
#include "text/codepage.h"
#include "text/wildcard.h"

namespace qm {

namespace {

// ---- Case folding ---------------------------------------------------------------------

// Lower case of one code point, as far as a per-character fold goes: ASCII, Latin-1,
// Latin Extended-A, basic Greek and Cyrillic. Enough for the names courses use.
char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

// A UTF-8 name as folded code points. A byte that starts no valid sequence stands for
// itself, outside the Unicode range so that it equals only the same byte.
std::u32string Fold(std::string_view name) {
  std::u32string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    const auto b = static_cast<unsigned char>(name[i]);
    std::size_t len = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b < 0x80) {
      len = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      c = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      c = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      c = b & 0x07;
      min = 0x10000;
    }
    bool valid = len > 0 && i + len <= name.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto t = static_cast<unsigned char>(name[i + k]);
      valid = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    valid = valid && c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (valid) {
      out.push_back(FoldCodePoint(c));
      i += len;
    } else {
      out.push_back(0x110000 + b);
      ++i;
    }
  }
  return out;
}

// Windows-style wildcard match on folded names ("*.*" matches every name).
bool WildcardMatch(const std::u32string& pattern, const std::u32string& name) {
  return text::WildcardMatch(pattern, name, text::WildcardDots::kFileSearch);
}

// ---- Small POSIX helpers --------------------------------------------------------------

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

// "dir/" + name, where an empty folder means the working folder.
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

class DirHandle {
 public:
  explicit DirHandle(const std::string& path)
      : dir_(::opendir(path.empty() ? "." : path.c_str())) {}
  ~DirHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  // The next entry's name, skipping "." and ".."; nullptr at the end.
  const char* Next() {
    if (dir_ == nullptr) return nullptr;
    while (const dirent* entry = ::readdir(dir_)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") return entry->d_name;
    }
    return nullptr;
  }

 private:
  DIR* dir_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; 0 or the errno of a failed close (an interrupted close has released the
  // descriptor on Linux and counts as done).
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
  }

 private:
  int fd_;
};

// Writes `a` then `b` completely; 0 or the errno of the failure.
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

// Six characters for a temporary name. Uniqueness comes from O_EXCL; this only makes
// collisions unlikely.
std::string RandomSuffix() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x =
      counter.fetch_add(1, std::memory_order_relaxed) +
      static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL +
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  // splitmix64
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string out;
  for (int i = 0; i < 6; ++i) {
    out += kChars[x % kChars.size()];
    x /= kChars.size();
  }
  return out;
}

[[noreturn]] void ThrowErrno(int err, bool parent_missing) {
  throw EInOutError(StdFileSystem::ErrorCodeFromErrno(err, parent_missing));
}

}  // namespace

StdFileSystem::StdFileSystem(const text::CodePage& code_page) : code_page_(code_page) {}

std::string StdFileSystem::ToNative(std::string_view ansi_path) const {
  std::string native = code_page_.IsUtf8() ? std::string(ansi_path) : code_page_.ToUtf8(ansi_path);
  // Only after the conversion: in a double-byte code page a trail byte may be 0x5C.
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::string StdFileSystem::ResolveNative(const std::string& native) const {
  if (native.empty() || EntryExists(native)) return native;

  std::string result = native.front() == '/' ? "/" : "";
  bool on_disk = true;  // every component so far exists
  std::size_t pos = 0;
  while (pos < native.size()) {
    std::size_t end = native.find('/', pos);
    if (end == std::string::npos) end = native.size();
    const std::string_view component = std::string_view(native).substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;

    const std::string folder = result;
    if (!result.empty() && result.back() != '/') result += '/';
    const std::size_t start = result.size();
    result += component;
    if (!on_disk || component == "." || component == ".." || EntryExists(result)) continue;

    const std::u32string wanted = Fold(component);
    std::optional<std::string> best;
    DirHandle dir(folder);
    while (const char* name = dir.Next()) {
      if ((!best || *best > name) && Fold(name) == wanted) best = name;
    }
    if (best) {
      result.replace(start, std::string::npos, *best);
    } else {
      on_disk = false;  // nothing further down can exist either
    }
  }
  if (native.back() == '/' && result.back() != '/') result += '/';
  return result;
}

std::filesystem::path StdFileSystem::Resolve(std::string_view ansi_path) const {
  return std::filesystem::path(ResolveNative(ToNative(ansi_path)));
}

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

bool StdFileSystem::FirstMatchIsFile(std::string_view pattern) {
  try {
    const std::string native = ToNative(pattern);
    const std::size_t slash = native.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view name = std::string_view(native).substr(name_start);
    if (name.empty()) return false;
    if (name.find_first_of("*?") == std::string_view::npos) {
      struct stat st;
      if (::stat(native.c_str(), &st) == 0) return S_ISREG(st.st_mode);
      return IsRegularFile(ResolveNative(native));
    }

    const std::string folder = ResolveNative(native.substr(0, name_start));
    if (!IsDirectory(folder.empty() ? "." : folder)) return false;
    const std::u32string wanted = Fold(name);
    // "." and ".." come first, as on Windows; both are folders.
    if (WildcardMatch(wanted, U".") || WildcardMatch(wanted, U"..")) return false;

    // The rest in case-insensitive order (byte order between names equal but for case).
    std::optional<std::pair<std::u32string, std::string>> first;
    DirHandle dir(folder);
    while (const char* entry = dir.Next()) {
      std::u32string folded = Fold(entry);
      if (!WildcardMatch(wanted, folded)) continue;
      std::pair<std::u32string, std::string> key(std::move(folded), entry);
      if (!first || key < *first) first = std::move(key);
    }
    return first && IsRegularFile(JoinPath(folder, first->second));
  } catch (...) {
    return false;
  }
}

bool StdFileSystem::DirectoryExists(std::string_view path) {
  return IsDirectory(ResolveNative(ToNative(path)));
}

bool StdFileSystem::CreateDirectory(std::string_view path) {
  return ::mkdir(ResolveNative(ToNative(path)).c_str(), 0777) == 0;
}

int StdFileSystem::OpenForReading(std::string_view path, int extra_flags) const {
  // The path as written is tried first: resolving costs a look-up per component, and a
  // course's paths are usually right.
  std::string resolved = ToNative(path);
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

void StdFileSystem::WriteTextFile(std::string_view path, std::string_view content) {
  ReplaceFile(path, content, "\r\n");
}

void StdFileSystem::WriteBinaryFile(std::string_view path, std::string_view bytes) {
  ReplaceFile(path, bytes, "");
}

void StdFileSystem::ReplaceFile(std::string_view path, std::string_view content,
                                std::string_view tail) {
  const auto file = BeginReplace(path);
  file->Write(content);
  file->Write(tail);
  file->Commit();
}

namespace {

// The new content of a file, written to a hidden temporary file beside it that is
// renamed over it on Commit; or, for a target that is not a regular file, written into
// the target itself.
class StdFileReplacement : public IFileReplacement {
 public:
  StdFileReplacement(int fd, std::string temp, std::string target)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)) {}
  ~StdFileReplacement() override {
    if (!done_ && !temp_.empty()) {
      fd_.Close();
      ::unlink(temp_.c_str());
    }
  }

  void Write(std::string_view bytes) override {
    if (done_) throw EInOutError(EInOutError::kAccessDenied);
    if (const int err = WriteAll(fd_.Get(), bytes, "")) ThrowErrno(err, false);
  }

  void Commit() override {
    if (done_) return;
    if (const int err = fd_.Close()) ThrowErrno(err, false);
    if (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) ThrowErrno(errno, false);
    done_ = true;
  }

 private:
  FileDescriptor fd_;
  std::string temp_;  // empty when writing in place
  std::string target_;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<IFileReplacement> StdFileSystem::BeginReplace(std::string_view path) {
  std::string target = ResolveNative(ToNative(path));

  mode_t mode = 0666;  // for a new file; the umask applies
  bool keep_mode = false;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw EInOutError(EInOutError::kAccessDenied);
    // A plain write would fail on a file we may not write; so does the replacement.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) ThrowErrno(errno, false);
    if (!S_ISREG(st.st_mode)) {
      // Something that is not a regular file (a device, a pipe), where replacing the
      // directory entry would be wrong: written in place.
      const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (fd < 0) ThrowErrno(errno, false);
      return std::make_unique<StdFileReplacement>(fd, std::string(), target);
    }
    // Write through a symbolic link rather than replacing the link.
    struct stat lst;
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      if (char* real = ::realpath(target.c_str(), nullptr)) {
        target = real;
        ::free(real);
      }
    }
    mode = st.st_mode & 07777;
    keep_mode = true;
  }

  // The new content goes to a hidden temporary file beside the target, which is then
  // renamed over it: the rename replaces the file in one step, so a failure or a crash
  // of the process leaves either the old file or the new one, never a partial file.
  // There is no fsync; a crash of the whole system is not guarded against.
  const std::size_t slash = target.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::string stem = target.substr(0, name_start) + "." + target.substr(name_start, 200) +
                           ".~";  // stays under NAME_MAX
  std::string temp;
  int raw_fd = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = stem + RandomSuffix();
    raw_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (raw_fd >= 0 || errno != EEXIST) break;
  }
  if (raw_fd < 0) {
    const int err = errno;
    ThrowErrno(err, ParentMissing(temp));
  }
  // The umask may have taken bits the old file had. Failing to restore them is not
  // worth losing the content over.
  if (keep_mode) (void)::fchmod(raw_fd, mode);
  return std::make_unique<StdFileReplacement>(raw_fd, std::move(temp), std::move(target));
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

}  // namespace qm

namespace qm {

bool StdFileSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  try {
    FileDescriptor source(OpenForReading(from, 0));
    struct stat st;
    if (::fstat(source.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const std::string target = ResolveNative(ToNative(to));
    struct stat existing;
    if (::lstat(target.c_str(), &existing) == 0) {
      if (fail_if_exists || S_ISDIR(existing.st_mode)) return false;
    }

    // The copy goes to a hidden file beside the target first.
    const std::size_t slash = target.rfind('/');
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem =
        target.substr(0, name_start) + "." + target.substr(name_start, 200) + ".~";
    std::string temp;
    FileDescriptor out(-1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      temp = stem + RandomSuffix();
      out.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                       st.st_mode & 0777));
      if (out.Get() >= 0 || errno != EEXIST) break;
    }
    if (out.Get() < 0) return false;

    bool ok = true;
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(source.Get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ok = got == 0;
        break;
      }
      if (WriteAll(out.Get(), std::string_view(buffer, static_cast<std::size_t>(got)), "") != 0) {
        ok = false;
        break;
      }
    }
    if (ok) {
      (void)::fchmod(out.Get(), st.st_mode & 07777);
      const timespec times[2] = {st.st_atim, st.st_mtim};
      (void)::futimens(out.Get(), times);
      ok = out.Close() == 0;
    }
    if (!ok) {
      out.Close();
      ::unlink(temp.c_str());
      return false;
    }
    if (!fail_if_exists) {
      if (::rename(temp.c_str(), target.c_str()) == 0) return true;
      ::unlink(temp.c_str());
      return false;
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      return true;
    }
    // A file system without the no-replace rename: a hard link refuses an existing name
    // as well; the temporary name is dropped either way.
    const bool linked =
        (errno == EINVAL || errno == ENOSYS) && ::link(temp.c_str(), target.c_str()) == 0;
    ::unlink(temp.c_str());
    return linked;
  } catch (...) {
    return false;
  }
}

bool StdFileSystem::DeleteFile(std::string_view path) {
  try {
    const std::string target = ResolveNative(ToNative(path));
    struct stat st;
    if (target.empty() || ::lstat(target.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(target.c_str()) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
