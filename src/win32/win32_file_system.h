// The text-file layer on Windows: the wide-character file API, which finds names in any
// letter case by itself. ANSI paths are converted through the shell's code page; native
// paths are UTF-8 with "\" or "/" separators. Windows has no learner's layer: a read
// finds what the course holds, a write goes where the path says.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace qm {

namespace text {
class CodePage;
}

class Win32FileSystem : public IFileSystem {
 public:
  // Paths arrive as text in `code_page`, which must outlive this object.
  explicit Win32FileSystem(const text::CodePage& code_page) : code_page_(code_page) {}

  bool FirstMatchIsFile(std::string_view pattern) override;
  bool DirectoryExists(std::string_view path) override;
  bool CreateDirectory(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path) override;
  void WriteTextFile(std::string_view path, std::string_view content) override;
  void WriteBinaryFile(std::string_view path, std::string_view bytes) override;
  std::string ReadBinaryFile(std::string_view path) override;
  // The new content goes to a file beside the target, which Commit puts in place: over
  // an existing file with ReplaceFileW (the file keeps its name as the folder spells it,
  // its attributes and its security), else by a rename. A folder or a read-only file is
  // refused at once (access denied).
  std::unique_ptr<IFileReplacement> BeginReplace(std::string_view path) override;
  // CopyFileW to a file beside `to`, then put in place as above (never over an existing
  // entry with `fail_if_exists`). The copy keeps the source's attributes and times.
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  bool DeleteFile(std::string_view path) override;

  std::string NativePath(std::string_view ansi_path) const override;
  std::string FindOnDisk(std::string_view ansi_path) const override;
  std::string FindNative(const std::string& path) const override;
  std::vector<std::string> FolderPlaces(const std::string& folder) const override;
  // Entries hidden from the visible listings: names that start with "." (as everywhere
  // in the shell) and entries with the hidden attribute (as Explorer hides them). A link
  // counts as what it names when Windows marks it as a folder or not.
  bool ListFolder(const std::string& folder, FolderEntries wanted, std::vector<std::string>& names,
                  bool first_only = false) const override;
  bool CanOpenFolder(const std::string& folder) const override;
  bool HasSubfolder(const std::string& folder) const override;
  // MoveFileExW without replacing: an existing entry of the name `to` stays.
  bool RenameEntry(const std::string& from, const std::string& to) override;

 private:
  std::wstring Wide(std::string_view ansi_path) const;
  void WriteWhole(std::string_view path, std::string_view content, std::string_view tail);

  const text::CodePage& code_page_;
};

}  // namespace qm
