// Shared helpers of the tests: temporary folders, a file system that fails on request,
// and a main window wired to the scripted ports.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/course_shell.h"
#include "headless/scripted_ports.h"
#include "platform/file_system.h"

namespace qm::testing {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // The folder as text with a trailing separator.
  std::string Dir() const { return path_.string() + "/"; }
  void WriteFile(std::string_view relative, std::string_view bytes) const;
  std::string ReadFile(std::string_view relative) const;
  bool Exists(std::string_view relative) const;

 private:
  std::filesystem::path path_;
};

// Passes everything to a real file system, failing the operations it is told to.
class FaultyFileSystem : public IFileSystem {
 public:
  explicit FaultyFileSystem(IFileSystem& inner) : inner_(inner) {}
  bool FirstMatchIsFile(std::string_view pattern) override {
    return inner_.FirstMatchIsFile(pattern);
  }
  bool DirectoryExists(std::string_view path) override { return inner_.DirectoryExists(path); }
  bool CreateDirectory(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path) override;
  void WriteTextFile(std::string_view path, std::string_view content) override;
  void WriteBinaryFile(std::string_view path, std::string_view bytes) override;
  std::string ReadBinaryFile(std::string_view path) override;
  std::unique_ptr<IFileReplacement> BeginReplace(std::string_view path) override;
  bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override {
    return !write_error && inner_.CopyFile(from, to, fail_if_exists);
  }
  bool DeleteFile(std::string_view path) override {
    return !write_error && inner_.DeleteFile(path);
  }
  std::string NativePath(std::string_view path) const override { return inner_.NativePath(path); }
  std::string FindOnDisk(std::string_view path) const override { return inner_.FindOnDisk(path); }
  std::string FindNative(const std::string& path) const override { return inner_.FindNative(path); }
  std::vector<std::string> FolderPlaces(const std::string& folder) const override {
    return inner_.FolderPlaces(folder);
  }
  bool ListFolder(const std::string& folder, FolderEntries wanted, std::vector<std::string>& names,
                  bool first_only) const override {
    return !read_error && inner_.ListFolder(folder, wanted, names, first_only);
  }
  bool CanOpenFolder(const std::string& folder) const override {
    return !read_error && inner_.CanOpenFolder(folder);
  }
  bool HasSubfolder(const std::string& folder) const override {
    return !read_error && inner_.HasSubfolder(folder);
  }
  bool RenameEntry(const std::string& from, const std::string& to) override {
    return !write_error && inner_.RenameEntry(from, to);
  }

  std::optional<int> read_error;     // EInOutError code for every read
  std::optional<int> write_error;    // EInOutError code for every write
  bool refuse_folders = false;       // CreateDirectory fails
  std::vector<std::string> written;  // paths of successful writes

 private:
  IFileSystem& inner_;
};

// The XML the movie's ExternalInterface sends for a call with text arguments (escaped
// as the movie writes them).
std::string InvokeXml(std::string_view command, const std::vector<std::string>& arguments);

// A main window on the scripted ports with the program folder in a temporary folder.
// Texts are UTF-8 (the fixture runs in the UTF-8 code page unless told otherwise).
class ShellHarness : public headless::ScriptedPlatform {
 public:
  explicit ShellHarness(std::string_view code_page = "UTF-8");
  ~ShellHarness();

  // Raises FlashCall with the request; the reply as UTF-8, or nullopt when none was set.
  std::optional<std::string> Call(std::string_view request_utf8);
  std::optional<std::string> Invoke(std::string_view command,
                                    const std::vector<std::string>& arguments = {});
  // Journal entries with the given key, in order.
  std::vector<headless::Json> Entries(std::string_view key) const;

  TempDir app;                              // the program folder
  TempDir appdata;                          // the common application-data folder
  std::unique_ptr<IFileSystem> real_files;  // the system's file layer
  FaultyFileSystem files{*real_files};
  std::unique_ptr<CourseShell> course;  // without a recorder
  TForm1* form = nullptr;               // course->Form1
};

}  // namespace qm::testing
