#include "posix/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// Creates `path` and its missing parents, private to the user as the trash must be.
bool MakeFolders(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return true;
  if (!path.has_parent_path() || path.parent_path() == path) return false;
  if (!MakeFolders(path.parent_path())) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteWhole(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string LocalDeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// `inner` is `outer` or lies below it.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

}  // namespace

std::string HomeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/Trash";
  return {};
}

std::string TrashInfoEscape(const std::string& absolute_path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : absolute_path) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int MoveToTrash(const std::string& path, std::string* trashed_name) {
  std::error_code ec;
  if (path.empty()) return ENOENT;
  fs::path item = fs::absolute(fs::path(path), ec).lexically_normal();
  if (ec) return EINVAL;
  if (!item.has_filename()) item = item.parent_path();  // a trailing separator
  if (item == item.root_path() || !item.has_filename()) return EPERM;
  struct stat st;
  if (::lstat(item.c_str(), &st) != 0) return errno;

  const std::string trash_text = HomeTrashFolder();
  if (trash_text.empty()) return ENOENT;
  const fs::path trash(trash_text);
  const fs::path files = trash / "files";
  const fs::path info = trash / "info";
  if (!MakeFolders(files) || !MakeFolders(info)) return EACCES;

  // Never the trash itself, nor a folder that holds it: the move could not end.
  std::error_code item_ec;
  std::error_code trash_ec;
  const fs::path real_item = fs::canonical(item.parent_path(), item_ec) / item.filename();
  const fs::path real_trash = fs::canonical(trash, trash_ec);
  if (item_ec || trash_ec || IsWithin(real_trash, real_item)) return EPERM;

  // A name not yet used in Trash/files: the info file is created first and exclusively,
  // which reserves the name against others trashing at the same time.
  const std::string base = item.filename().string();
  std::string name;
  int info_fd = -1;
  fs::path info_file;
  for (int n = 1; n < 10000 && info_fd < 0; ++n) {
    name = n == 1 ? base : base + "." + std::to_string(n);
    info_file = info / (name + ".trashinfo");
    info_fd = ::open(info_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (info_fd < 0) {
      if (errno != EEXIST) return errno;
      continue;
    }
    struct stat used;
    if (::lstat((files / name).c_str(), &used) == 0) {
      // Left behind without its info file: the name stays taken.
      ::close(info_fd);
      ::unlink(info_file.c_str());
      info_fd = -1;
    }
  }
  if (info_fd < 0) return EEXIST;

  const std::string content = "[Trash Info]\nPath=" + TrashInfoEscape(item.string()) +
                              "\nDeletionDate=" + LocalDeletionDate() + "\n";
  const bool written = WriteWhole(info_fd, content);
  if (::close(info_fd) != 0 || !written) {
    ::unlink(info_file.c_str());
    return EIO;
  }

  const fs::path target = files / name;
  if (::rename(item.c_str(), target.c_str()) != 0) {
    const int err = errno;
    if (err != EXDEV) {
      ::unlink(info_file.c_str());
      return err;
    }
    // Another device: copy everything, then remove the original.
    fs::copy(item, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
      std::error_code ignored;
      fs::remove_all(target, ignored);
      ::unlink(info_file.c_str());
      return ec.value() != 0 ? ec.value() : EIO;
    }
    fs::remove_all(item, ec);
    if (ec) {
      if (trashed_name != nullptr) *trashed_name = name;
      return ec.value() != 0 ? ec.value() : EIO;
    }
  }
  if (trashed_name != nullptr) *trashed_name = name;
  return 0;
}

}  // namespace qm
