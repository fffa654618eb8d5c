#include "posix/inherited_descriptors.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "posix/desktop_shell.h"

namespace qm::testing {
namespace {

bool Open(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

// Writes text and a descriptor's number to standard error, as a forked child may.
void Say(const char* text, int fd) {
  char digits[12];
  int n = sizeof digits;
  do {
    digits[--n] = static_cast<char>('0' + fd % 10);
    fd /= 10;
  } while (fd > 0 && n > 0);
  (void)!::write(2, digits + n, sizeof digits - n);
  (void)!::write(2, text, std::strlen(text));
}

// Runs `close_them(keep)` in a child that holds `opened`, and tells what the child found
// afterwards: "" when exactly the standard three and `keep` were left open.
std::string LeftOpenInChild(const std::vector<int>& opened, int keep,
                            const std::function<void(int)>& close_them) {
  int report[2];
  if (::pipe(report) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    // The report goes to standard error's place: it is one of the three kept.
    ::dup2(report[1], 2);
    ::close(report[1]);
    close_them(keep);
    for (int fd : opened) {
      if (Open(fd) != (fd == keep)) Say(Open(fd) ? " open; " : " closed; ", fd);
    }
    for (int fd = 0; fd < 3; ++fd) {
      if (!Open(fd)) Say(" closed; ", fd);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  std::string found;
  char buffer[256];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) found.append(buffer, n);
  ::close(report[0]);
  ::waitpid(child, nullptr, 0);
  return found;
}

// Every way of closing (close_range where the kernel has it, the listing of /proc/self/fd, the loop
// up to the limit) closes the descriptors below, at and above the kept one, and keeps that one.
TEST(InheritedDescriptors, EveryWayClosesAllButTheStandardOnesAndTheKeptOne) {
  const int limit = DescriptorLimit();
  ASSERT_GT(limit, 300);
  std::vector<int> opened;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::open("/dev/null", O_RDONLY);  // not close-on-exec
    ASSERT_GE(fd, 3);
    opened.push_back(fd);
  }
  opened.push_back(::dup2(opened[0], 300));
  ASSERT_EQ(opened.back(), 300);
  const std::pair<const char*, std::function<void(int)>> ways[] = {
      {"the first that works", [&](int keep) { CloseInheritedDescriptors(keep, limit); }},
      {"listed",
       [](int keep) {
         if (!CloseListedDescriptors(keep)) Say(" (no listing of /proc/self/fd); ", keep);
       }},
      {"up to the limit", [&](int keep) { CloseDescriptorsBelow(keep, limit); }},
  };
  for (const auto& [name, close_them] : ways) {
    SCOPED_TRACE(name);
    // The first and a middle one of ours, the last, and none.
    for (int keep : {opened[0], opened[2], 300, -1}) {
      EXPECT_EQ(LeftOpenInChild(opened, keep, close_them), "") << "keeping " << keep;
    }
  }
  for (int fd : opened) ::close(fd);
}

// The report of a failed start stays open until the exec, whatever else is closed.
TEST(InheritedDescriptors, AProgramThatCannotStartIsStillReported) {
  EXPECT_FALSE(StartDetached("/nonexistent/program", {}, {}));
  EXPECT_FALSE(StartDetached("/bin/true", {}, "/nonexistent/folder"));
  EXPECT_TRUE(StartDetached("/bin/true", {}, "/"));
}

}  // namespace
}  // namespace qm::testing
