#include "posix/desktop_shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/host_paths.h"
#include "platform/paths.h"
#include "posix/inherited_descriptors.h"
#include "posix/learner_layer.h"
#include "posix/trash.h"
#include "text/codepage.h"

namespace qm {

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder) {
  // Everything the child needs is prepared before the fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int descriptor_limit = DescriptorLimit();
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;

  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    // The middle process starts the program in a session of its own and leaves at once,
    // so the program is no child of ours and never becomes a zombie.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      // The program gets standard input, output and error, and nothing else of ours: the
      // report pipe, open until the exec, is the one descriptor kept.
      ResetInheritedSignals();
      CloseInheritedDescriptors(report[1], descriptor_limit);
      if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        const char failed = 1;
        (void)!::write(report[1], &failed, 1);
        ::_exit(127);
      }
      ::execv(program.c_str(), argv.data());
      const char failed = 1;  // exec failed: tell the parent
      (void)!::write(report[1], &failed, 1);
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes on a successful exec (close-on-exec) or carries one byte on failure.
  char failed = 0;
  ssize_t got;
  while ((got = ::read(report[0], &failed, 1)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

DesktopShell::DesktopShell(const text::CodePage& code_page, std::string opener)
    : code_page_(code_page), opener_(std::move(opener)) {}

int DesktopShell::Execute(const ShellRequest& request) {
  if (request.verb != "open" || request.file.empty()) return kNoAssociation;
  // Found as every course path is: in any letter case, the learner's copy first.
  const std::string file =
      FindForReading(ProcessLearnerLayer(), code_page_.ToUtf8(ToNativeSeparators(request.file)));
  struct stat st;
  const bool present = ::stat(file.c_str(), &st) == 0;
  std::vector<std::string> arguments;
  if (!request.params.empty()) arguments.push_back(code_page_.ToUtf8(request.params));
  if (!present) return kFileNotFound;
  if (S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) {
    const std::string folder =
        request.dir.empty() ? ExtractFilePath(file) : code_page_.ToUtf8(request.dir);
    return StartDetached(file, arguments, folder) ? kSuccess : kNoAssociation;
  }
  // A program we cannot run here (a Windows executable, say) is not handed to the
  // document opener.
  if (!request.params.empty()) return kNoAssociation;
  // A document: its default application opens it.
  const std::string opener_path =
      opener_.find('/') != std::string::npos ? opener_ : "/usr/bin/" + opener_;
  return StartDetached(opener_path, {file}, {}) ? kSuccess : kNoAssociation;
}

std::optional<std::string> DesktopShell::SpecialFolderPath(int csidl) {
  if (csidl != kCsidlCommonAppData) return std::nullopt;
  const std::string folder = CommonAppDataFolder();
  if (folder.empty()) return std::nullopt;
  return code_page_.FromUtf8(folder);
}

int DesktopShell::FileOperation(const ShellFileOperation& operation) {
  if (operation.operation != kFoDelete || operation.from.empty()) return kOperationInvalidFiles;
  int result = 0;
  for (const std::string& entry : operation.from) {
    if (entry.empty()) {
      result = kOperationInvalidFiles;
      continue;
    }
    // The learner's own entry goes; one that only a read-only course holds stays.
    const std::string path =
        FindForReading(ProcessLearnerLayer(), code_page_.ToUtf8(ToNativeSeparators(entry)));
    if ((operation.flags & kFofAllowUndo) != 0) {
      if (MoveToTrash(path) != 0) result = kOperationFailed;
      continue;
    }
    std::error_code ec;
    const std::filesystem::path target(path);
    const bool present = std::filesystem::exists(std::filesystem::symlink_status(target, ec));
    if (!present || target == target.root_path() ||
        std::filesystem::remove_all(target, ec) == static_cast<std::uintmax_t>(-1) || ec) {
      result = kOperationFailed;
    }
  }
  return result;
}

}  // namespace qm
