#include "win32/win32_file_system.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/errors.h"
#include "text/codepage.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace qm {

using win32::Utf8OfWide;
using win32::WideOfUtf8;
using win32::WithBackslashes;

namespace {

[[noreturn]] void ThrowLastError() {
  throw EInOutError(static_cast<int>(::GetLastError()));
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return handle_; }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // 0, or the code of a failed close.
  DWORD Close() {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (handle != INVALID_HANDLE_VALUE && !::CloseHandle(handle)) return ::GetLastError();
    return 0;
  }

 private:
  HANDLE handle_;
};

class FindHandle {
 public:
  FindHandle(const std::wstring& pattern, WIN32_FIND_DATAW& found)
      : handle_(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, 0)),
        error_(handle_ == INVALID_HANDLE_VALUE ? ::GetLastError() : 0) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD Error() const { return error_; }
  bool Next(WIN32_FIND_DATAW& found) { return ::FindNextFileW(handle_, &found) != 0; }

 private:
  HANDLE handle_;
  DWORD error_;
};

bool IsDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A link whose target is missing: opening it (without any access) fails.
bool IsDanglingLink(const std::wstring& path) {
  const Handle target(::CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return !target.IsValid();
}

// Six characters for a temporary name. Uniqueness comes from CREATE_NEW; this only makes
// collisions unlikely.
std::wstring RandomSuffix() {
  static std::atomic<std::uint64_t> counter{0};
  LARGE_INTEGER ticks{};
  ::QueryPerformanceCounter(&ticks);
  std::uint64_t x = counter.fetch_add(1, std::memory_order_relaxed) +
                    static_cast<std::uint64_t>(::GetCurrentProcessId()) * 0x9E3779B97F4A7C15ULL +
                    static_cast<std::uint64_t>(ticks.QuadPart);
  // splitmix64
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  static constexpr std::wstring_view kChars =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::wstring out;
  for (int i = 0; i < 6; ++i) {
    out += kChars[x % kChars.size()];
    x /= kChars.size();
  }
  return out;
}

// A new file beside `target`, in its folder, named after it: ".<name>.~XXXXXX" (the
// shell's listings leave names with a leading "." out). Deleted when destroyed unless
// put in place.
class FileBeside {
 public:
  enum class Placing {
    kKeepTarget,  // over an existing target with ReplaceFileW, which keeps its attributes
    kReplace,     // a rename that replaces the target
    kNoReplace,   // a rename that fails where the target exists
  };

  explicit FileBeside(std::wstring target) : target_(std::move(target)) {
    const std::size_t separator = target_.find_last_of(L"\\/:");
    const std::size_t name_start = separator == std::wstring::npos ? 0 : separator + 1;
    const std::wstring stem =
        target_.substr(0, name_start) + L"." + target_.substr(name_start, 200) + L".~";
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = stem + RandomSuffix();
      file_.Reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_.IsValid()) break;
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    error_ = file_.IsValid() ? 0 : ::GetLastError();
  }

  ~FileBeside() {
    if (error_ != 0 || placed_) return;
    file_.Close();
    // A copy takes its source's attributes, the read-only one included.
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path_.c_str());
  }
  FileBeside(const FileBeside&) = delete;
  FileBeside& operator=(const FileBeside&) = delete;

  // 0 once created, else the code of the failure.
  DWORD Error() const { return error_; }
  const std::wstring& Path() const { return path_; }
  HANDLE File() const { return file_.Get(); }
  DWORD CloseFile() { return file_.Close(); }

  // Closes the file and puts it in place of the target: 0 or the code of the failure.
  DWORD PutInPlace(Placing placing) {
    if (const DWORD error = file_.Close()) return error;
    bool done = false;
    if (placing == Placing::kKeepTarget &&
        ::GetFileAttributesW(target_.c_str()) != INVALID_FILE_ATTRIBUTES) {
      done = ::ReplaceFileW(target_.c_str(), path_.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
      // A target deleted meanwhile is no reason to fail: the rename below places the file.
      if (!done && ::GetLastError() != ERROR_FILE_NOT_FOUND) return ::GetLastError();
    }
    if (!done) {
      const DWORD flags = placing == Placing::kNoReplace ? 0 : MOVEFILE_REPLACE_EXISTING;
      if (!::MoveFileExW(path_.c_str(), target_.c_str(), flags)) return ::GetLastError();
    }
    placed_ = true;
    return 0;
  }

 private:
  std::wstring target_;
  std::wstring path_;
  Handle file_{INVALID_HANDLE_VALUE};
  DWORD error_ = 0;
  bool placed_ = false;
};

// Writes every byte of `bytes`: 0 or the code of the failure.
DWORD WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return ::GetLastError();
    if (written == 0) return ERROR_DISK_FULL;
    bytes.remove_prefix(written);
  }
  return 0;
}

class Win32FileReplacement : public IFileReplacement {
 public:
  // `attributes`: those the new file takes over from the one it replaces (0 for none).
  Win32FileReplacement(std::unique_ptr<FileBeside> beside, DWORD attributes)
      : beside_(std::move(beside)), attributes_(attributes) {}

  void Write(std::string_view bytes) override {
    if (done_) throw EInOutError(EInOutError::kAccessDenied);
    if (const DWORD error = WriteAll(beside_->File(), bytes)) {
      throw EInOutError(static_cast<int>(error));
    }
  }

  void Commit() override {
    if (done_) return;
    if (const DWORD error = beside_->CloseFile()) throw EInOutError(static_cast<int>(error));
    // ReplaceFileW keeps the replaced file's attributes on Windows, not under Wine.
    if (attributes_ != 0) ::SetFileAttributesW(beside_->Path().c_str(), attributes_);
    if (const DWORD error = beside_->PutInPlace(FileBeside::Placing::kKeepTarget)) {
      throw EInOutError(static_cast<int>(error));
    }
    done_ = true;
  }

 private:
  std::unique_ptr<FileBeside> beside_;
  DWORD attributes_;
  bool done_ = false;
};

// Opens an existing file for reading; raises EInOutError on failure (a folder gives
// access denied).
Handle OpenForReading(const std::wstring& path) {
  Handle file(::CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) ThrowLastError();
  return file;
}

// Reads the next piece: the number of bytes, 0 at the end (a pipe whose writer has gone
// included). Raises EInOutError on failure.
DWORD ReadSome(HANDLE file, char* buffer, DWORD size) {
  DWORD got = 0;
  if (!::ReadFile(file, buffer, size, &got, nullptr)) {
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    ThrowLastError();
  }
  return got;
}

// The pattern that lists every entry of `folder`.
std::wstring ListingPattern(const std::string& folder) {
  std::wstring pattern = WithBackslashes(WideOfUtf8(folder));
  if (pattern.back() != L'\\' && pattern.back() != L':') pattern += L'\\';
  return pattern + L'*';
}

// A listing without a first entry is one of an empty drive's root.
bool OpenedEmpty(const FindHandle& listing, const std::string& folder) {
  return listing.Error() == ERROR_FILE_NOT_FOUND &&
         IsFolder(::GetFileAttributesW(WideOfUtf8(folder).c_str()));
}

}  // namespace

std::wstring Win32FileSystem::Wide(std::string_view ansi_path) const {
  return win32::WideOfAnsi(code_page_, ansi_path);
}

bool Win32FileSystem::FirstMatchIsFile(std::string_view pattern) {
  try {
    WIN32_FIND_DATAW found;
    const FindHandle listing(Wide(pattern), found);
    return listing.IsOpen() && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  } catch (...) {
    return false;
  }
}

bool Win32FileSystem::DirectoryExists(std::string_view path) {
  return IsFolder(::GetFileAttributesW(Wide(path).c_str()));
}

bool Win32FileSystem::CreateDirectory(std::string_view path) {
  return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

std::string Win32FileSystem::ReadFirstLine(std::string_view path) {
  const Handle file = OpenForReading(Wide(path));
  std::string line;
  char buffer[4096];
  for (;;) {
    const DWORD got = ReadSome(file.Get(), buffer, sizeof buffer);
    if (got == 0) return line;
    for (DWORD i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n' || c == '\x1a') return line;
      if (c != '\r') line += c;
    }
  }
}

std::string Win32FileSystem::ReadBinaryFile(std::string_view path) {
  const Handle file = OpenForReading(Wide(path));
  std::string content;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) < content.max_size()) {
    content.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[65536];
  for (;;) {
    const DWORD got = ReadSome(file.Get(), buffer, sizeof buffer);
    if (got == 0) return content;
    content.append(buffer, got);
  }
}

void Win32FileSystem::WriteTextFile(std::string_view path, std::string_view content) {
  WriteWhole(path, content, "\r\n");
}

void Win32FileSystem::WriteBinaryFile(std::string_view path, std::string_view bytes) {
  WriteWhole(path, bytes, "");
}

void Win32FileSystem::WriteWhole(std::string_view path, std::string_view content,
                                 std::string_view tail) {
  const auto file = BeginReplace(path);
  file->Write(content);
  file->Write(tail);
  file->Commit();
}

std::unique_ptr<IFileReplacement> Win32FileSystem::BeginReplace(std::string_view path) {
  std::wstring target = Wide(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  // What a plain write would refuse is refused before anything is written.
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    throw EInOutError(EInOutError::kAccessDenied);
  }
  DWORD kept = 0;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    // The file keeps its name as the folder spells it, whatever case the path has.
    WIN32_FIND_DATAW found;
    const FindHandle existing(target, found);
    if (existing.IsOpen()) {
      const std::size_t separator = target.find_last_of(L"\\/:");
      target.replace(separator == std::wstring::npos ? 0 : separator + 1, std::wstring::npos,
                     found.cFileName);
    }
  }
  auto beside = std::make_unique<FileBeside>(std::move(target));
  if (const DWORD error = beside->Error()) throw EInOutError(static_cast<int>(error));
  return std::make_unique<Win32FileReplacement>(std::move(beside), kept);
}

bool Win32FileSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  try {
    const std::wstring source = Wide(from);
    const std::wstring target = Wide(to);
    const DWORD source_attributes = ::GetFileAttributesW(source.c_str());
    if (source_attributes == INVALID_FILE_ATTRIBUTES || IsFolder(source_attributes)) return false;
    const DWORD target_attributes = ::GetFileAttributesW(target.c_str());
    if (target_attributes != INVALID_FILE_ATTRIBUTES &&
        (fail_if_exists || IsFolder(target_attributes))) {
      return false;
    }
    FileBeside copy(target);
    if (copy.Error() != 0 || copy.CloseFile() != 0) return false;
    if (!::CopyFileW(source.c_str(), copy.Path().c_str(), FALSE)) return false;
    return copy.PutInPlace(fail_if_exists ? FileBeside::Placing::kNoReplace
                                          : FileBeside::Placing::kReplace) == 0;
  } catch (...) {
    return false;
  }
}

bool Win32FileSystem::DeleteFile(std::string_view path) {
  try {
    return ::DeleteFileW(Wide(path).c_str()) != 0;
  } catch (...) {
    return false;
  }
}

std::string Win32FileSystem::NativePath(std::string_view ansi_path) const {
  return code_page_.ToUtf8(ansi_path);
}

std::string Win32FileSystem::FindOnDisk(std::string_view ansi_path) const {
  return NativePath(ansi_path);
}

std::string Win32FileSystem::FindNative(const std::string& path) const {
  return path;
}

std::vector<std::string> Win32FileSystem::FolderPlaces(const std::string& folder) const {
  return {folder};
}

bool Win32FileSystem::ListFolder(const std::string& folder, FolderEntries wanted,
                                 std::vector<std::string>& names, bool first_only) const {
  if (folder.empty()) return false;
  const std::wstring pattern = ListingPattern(folder);
  WIN32_FIND_DATAW found;
  FindHandle listing(pattern, found);
  if (!listing.IsOpen()) return OpenedEmpty(listing, folder);
  do {
    const wchar_t* name = found.cFileName;
    if (IsDot(name)) continue;
    const DWORD attributes = found.dwFileAttributes;
    if (wanted != FolderEntries::kAll) {
      if (name[0] == L'.' || (attributes & FILE_ATTRIBUTE_HIDDEN) != 0) continue;
      const bool is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (is_folder != (wanted == FolderEntries::kVisibleFolders)) continue;
      if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) continue;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
          IsDanglingLink(pattern.substr(0, pattern.size() - 1) + name)) {
        continue;
      }
    }
    names.push_back(Utf8OfWide(name));
    if (first_only) break;
  } while (listing.Next(found));
  return true;
}

bool Win32FileSystem::CanOpenFolder(const std::string& folder) const {
  if (folder.empty()) return false;
  WIN32_FIND_DATAW found;
  const FindHandle listing(ListingPattern(folder), found);
  return listing.IsOpen() || OpenedEmpty(listing, folder);
}

bool Win32FileSystem::HasSubfolder(const std::string& folder) const {
  std::vector<std::string> names;
  return ListFolder(folder, FolderEntries::kVisibleFolders, names, true) && !names.empty();
}

bool Win32FileSystem::RenameEntry(const std::string& from, const std::string& to) {
  try {
    return ::MoveFileExW(WithBackslashes(WideOfUtf8(from)).c_str(),
                         WithBackslashes(WideOfUtf8(to)).c_str(), 0) != 0;
  } catch (...) {
    return false;
  }
}

std::unique_ptr<IFileSystem> SystemFileSystem(const text::CodePage& code_page) {
  return std::make_unique<Win32FileSystem>(code_page);
}

}  // namespace qm
