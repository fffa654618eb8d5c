// The text-file layer on a POSIX file system.
//
// Courses were made on Windows: their paths use "\" and name files in whatever case the
// author typed, while the copies on disk may differ in case. Every path is therefore
// converted from the ANSI code page to UTF-8 and then resolved component by component,
// case-insensitively, against what is actually on disk.
//
// The class's parts lie in files of their own: path_resolution.cpp (finding paths),
// file_replacement.cpp (writing and copying all or nothing), error_codes.cpp (errno to
// the file API's codes).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "posix/learner_layer.h"

namespace qm {

namespace text {
class CodePage;
}

class StdFileSystem : public IFileSystem {
 public:
  // Paths arrive as text in `code_page`, which must outlive this object. Below the
  // course of `layer` (by default the process's, see ProcessLearnerLayer), writes go to
  // the learner's layer and reads see it first.
  explicit StdFileSystem(const text::CodePage& code_page);
  StdFileSystem(const text::CodePage& code_page, std::optional<LearnerLayer> layer);

  bool FirstMatchIsFile(std::string_view pattern) override;
  bool DirectoryExists(std::string_view path) override;
  bool CreateDirectory(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path) override;
  void WriteTextFile(std::string_view path, std::string_view content) override;
  void WriteBinaryFile(std::string_view path, std::string_view bytes) override;
  std::string ReadBinaryFile(std::string_view path) override;
  std::unique_ptr<IFileReplacement> BeginReplace(std::string_view path) override;
  // Both paths are resolved like every other. The copy is written beside the target and
  // put in place in one step, so a failure leaves no partial file; with
  // `fail_if_exists` it is put in place only where no entry of that name (in any letter
  // case the resolution finds) exists. The copy keeps the source's permissions and
  // modification time.
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  bool DeleteFile(std::string_view path) override;

  std::string NativePath(std::string_view ansi_path) const override;
  std::string FindOnDisk(std::string_view ansi_path) const override;
  std::string FindNative(const std::string& path) const override;
  std::vector<std::string> FolderPlaces(const std::string& folder) const override;
  bool ListFolder(const std::string& folder, FolderEntries wanted, std::vector<std::string>& names,
                  bool first_only = false) const override;
  bool CanOpenFolder(const std::string& folder) const override;
  bool HasSubfolder(const std::string& folder) const override;
  // Where the system cannot refuse an existing name by itself, the name is seen free
  // first (in any letter case) and then taken: not one step.
  bool RenameEntry(const std::string& from, const std::string& to) override;

  // The on-disk path for an ANSI path. "\" separates like "/". A component that does not
  // exist as written is looked up ignoring case (the exact name wins, else the first
  // match in byte order of the names); one that exists in no case is kept as written, so
  // a file about to be created keeps its name while its folders are found in any case.
  // "." and ".." are kept and followed like any other component. A relative path stays
  // relative to the working folder.
  // This is the course's own path: the learner's layer plays no part in it.
  std::filesystem::path Resolve(std::string_view ansi_path) const;

  // The Windows file API code (as carried by EInOutError) for an errno value.
  // `parent_missing`: the folder that should hold the file does not exist.
  static int ErrorCodeFromErrno(int err, bool parent_missing);

 private:
  // The path in UTF-8 with "/" separators, not yet resolved.
  std::string ToNative(std::string_view ansi_path) const;
  std::string ResolveNative(const std::string& native) const;
  // Opens the file for reading (O_RDONLY plus `extra_flags`), resolving the path's case
  // only when the path as written does not exist. Raises EInOutError on failure.
  int OpenForReading(std::string_view path, int extra_flags) const;
  // Replaces the file with `content` followed by `tail`, all or nothing.
  void ReplaceFile(std::string_view path, std::string_view content, std::string_view tail);

  // Where a write of the ANSI path goes (see PlaceForWriting).
  std::string PlaceOnDisk(std::string_view ansi_path) const;
  // The path lies below the course of a learner's layer.
  bool Layered(const std::string& native) const;

  const text::CodePage& code_page_;
  std::optional<LearnerLayer> layer_;
};

}  // namespace qm
