// Writing files all or nothing: the replacement of a file's content and the copy of a
// file, both written beside the target and put in place by a rename.
#include "posix/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/errors.h"
#include "posix/std_file_system.h"

namespace qm {

namespace {

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

}  // namespace

FileBeside::FileBeside(std::string target, mode_t mode) : target_(std::move(target)) {
  const std::size_t slash = target_.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::string stem = target_.substr(0, name_start) + "." + target_.substr(name_start, 200) +
                           ".~";  // stays under NAME_MAX
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = stem + RandomSuffix();
    fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
    if (fd_.Get() >= 0 || errno != EEXIST) break;
  }
  created_ = fd_.Get() >= 0;
}

FileBeside::~FileBeside() {
  if (!created_ || placed_) return;
  fd_.Close();
  ::unlink(path_.c_str());
}

int FileBeside::PutInPlace(bool no_replace) {
  if (const int err = fd_.Close()) return err;
  const int err = no_replace ? RenameNoReplace(path_, target_, WithoutNoReplace::kLink)
                  : ::rename(path_.c_str(), target_.c_str()) == 0 ? 0
                                                                  : errno;
  placed_ = err == 0;
  return err;
}

int RenameNoReplace(const std::string& from, const std::string& to, WithoutNoReplace fallback) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (fallback == WithoutNoReplace::kLink) {
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
  }
  if (EntryExists(to)) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
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

// The new content of a file, written beside it and renamed over it on Commit; or, for a
// target that is not a regular file, written into the target itself.
class StdFileReplacement : public IFileReplacement {
 public:
  explicit StdFileReplacement(std::unique_ptr<FileBeside> beside) : beside_(std::move(beside)) {}
  explicit StdFileReplacement(int in_place) : in_place_(in_place) {}

  void Write(std::string_view bytes) override {
    if (done_) throw EInOutError(EInOutError::kAccessDenied);
    const int fd = beside_ ? beside_->Fd() : in_place_.Get();
    if (const int err = WriteAll(fd, bytes, "")) ThrowErrno(err, false);
  }

  void Commit() override {
    if (done_) return;
    if (const int err = beside_ ? beside_->PutInPlace(false) : in_place_.Close()) {
      ThrowErrno(err, false);
    }
    done_ = true;
  }

 private:
  std::unique_ptr<FileBeside> beside_;  // null when writing in place
  FileDescriptor in_place_{-1};
  bool done_ = false;
};

}  // namespace

std::unique_ptr<IFileReplacement> StdFileSystem::BeginReplace(std::string_view path) {
  std::string target = PlaceOnDisk(path);

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
      return std::make_unique<StdFileReplacement>(fd);
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

  auto beside = std::make_unique<FileBeside>(std::move(target), mode);
  if (beside->Fd() < 0) {
    const int err = errno;
    ThrowErrno(err, ParentMissing(beside->Path()));
  }
  // The umask may have taken bits the old file had. Failing to restore them is not
  // worth losing the content over.
  if (keep_mode) (void)::fchmod(beside->Fd(), mode);
  return std::make_unique<StdFileReplacement>(std::move(beside));
}

bool StdFileSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  try {
    FileDescriptor source(OpenForReading(from, 0));
    struct stat st;
    if (::fstat(source.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // An entry that a read of `to` finds (the learner's or, below a layered course, the
    // course's) counts as existing; the copy goes where writes go.
    struct stat existing;
    if (::lstat(FindOnDisk(to).c_str(), &existing) == 0) {
      if (fail_if_exists || S_ISDIR(existing.st_mode)) return false;
    }
    const std::string target = PlaceOnDisk(to);

    FileBeside out(target, st.st_mode & 0777);
    if (out.Fd() < 0) return false;
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(source.Get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      if (WriteAll(out.Fd(), std::string_view(buffer, static_cast<std::size_t>(got)), "") != 0) {
        return false;
      }
    }
    (void)::fchmod(out.Fd(), st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out.Fd(), times);
    return out.PutInPlace(fail_if_exists) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
