// The text-file layer: files and folders below the program folder and the settings
// folder. Paths are ANSI text. Failures of reading and writing raise EInOutError with
// the Windows file API's code (other platforms map theirs onto those codes).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qm {

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
};

}  // namespace qm
