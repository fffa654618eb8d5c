// The text-file layer: files and folders below the program folder and the settings
// folder. Paths are ANSI text. Failures of reading and writing raise EInOutError with
// the Windows file API's code (other platforms map theirs onto those codes).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace text {
class CodePage;
}

// What a listing of a folder hands out.
enum class FolderEntries {
  kAll,             // every name but "." and ".."
  kVisibleFolders,  // folders and links to folders whose names do not start with "."
  kVisibleFiles,    // regular files and links to them whose names do not start with "."
};

// A file's new content, written piece by piece. It replaces the file only on Commit,
// in one step; destroyed without a commit it is discarded and the old file (or none)
// stays.
class IFileReplacement {
 public:
  virtual ~IFileReplacement() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual void Commit() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Looks `pattern` up as a file-system search pattern ("*" and "?" match in its last
  // component): true when the first entry found is a file, false when nothing is found
  // or the first entry is a folder.
  virtual bool FirstMatchIsFile(std::string_view pattern) = 0;
  virtual bool DirectoryExists(std::string_view path) = 0;
  // Creates one folder whose parent exists. False when it could not be created.
  virtual bool CreateDirectory(std::string_view path) = 0;
  // The first line of a file: its bytes up to the first LF, without the line break;
  // a CR not followed by LF is dropped, a byte 26 ends the line.
  virtual std::string ReadFirstLine(std::string_view path) = 0;
  // Creates or replaces the file with `content` followed by CR LF. The file is replaced
  // only when the whole content was written: a failure leaves the old file (or none).
  virtual void WriteTextFile(std::string_view path, std::string_view content) = 0;
  // Creates or replaces the file with exactly `bytes`, all or nothing as above.
  virtual void WriteBinaryFile(std::string_view path, std::string_view bytes) = 0;
  // The whole file's bytes.
  virtual std::string ReadBinaryFile(std::string_view path) = 0;
  // Starts replacing the file (creating it when missing); failures as above.
  virtual std::unique_ptr<IFileReplacement> BeginReplace(std::string_view path) = 0;
  // Copies the file `from` to `to` (CopyFile). With `fail_if_exists` an existing `to` is
  // never touched and the copy fails. A failed copy leaves no partial target. False on
  // any failure; never throws.
  virtual bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) = 0;
  // Deletes one file for good (DeleteFile); a folder is not deleted. False on failure;
  // never throws.
  virtual bool DeleteFile(std::string_view path) = 0;

  // Native paths: the system's own spelling of a path (UTF-8; "/" separates, on Windows
  // "\" as well). The resource dialogs' views and the course-folder rules work on them.

  // The course's own entry for an ANSI path, found in any letter case where the system
  // tells letter case apart. The learner's layer plays no part in it.
  virtual std::string NativePath(std::string_view ansi_path) const = 0;
  // Where a read of the ANSI path finds its file: the learner's copy first, else as
  // NativePath.
  virtual std::string FindOnDisk(std::string_view ansi_path) const = 0;
  // Where a read of the native path finds its entry: the learner's copy first, else the
  // path found in any letter case.
  virtual std::string FindNative(const std::string& path) const = 0;
  // The folders that make up the native `folder`: the learner's (when it exists) first,
  // then the course's (when it exists); without a layer, the folder found in any case.
  virtual std::vector<std::string> FolderPlaces(const std::string& folder) const = 0;
  // Appends the names of the wanted entries of every place of `folder`, each name once
  // (as the learner's folder spells it), in the order the folders hold them; with
  // `first_only`, stops at the first. False when no place can be opened.
  virtual bool ListFolder(const std::string& folder, FolderEntries wanted,
                          std::vector<std::string>& names, bool first_only = false) const = 0;
  // A place of the folder can be opened for reading ("" cannot).
  virtual bool CanOpenFolder(const std::string& folder) const = 0;
  // A place of the folder holds a visible folder.
  virtual bool HasSubfolder(const std::string& folder) const = 0;
  // Gives the entry `from` the native path `to` unless an entry of that name exists. True
  // on success; never throws.
  virtual bool RenameEntry(const std::string& from, const std::string& to) = 0;
};

// The system's own file layer, made by the platform's library: paths arrive as text in
// `code_page`, which must outlive it. Below the course of the process's learner's layer
// (where the system has one), writes go to the learner's layer and reads see it first.
std::unique_ptr<IFileSystem> SystemFileSystem(const text::CodePage& code_page);

}  // namespace qm
