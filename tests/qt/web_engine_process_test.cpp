// This test program links the web engine's process memory return, so its own waits
// (poll, epoll_wait) give back what lies free, as the web engine's threads' waits do.
#include "qt/web_engine_process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace qm::qt {
namespace {

long ResidentKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// 64 MB in 4 KiB blocks, of which one in 16 stays in use: the rest lies free between them.
std::vector<char*> FreeAmongBlocksInUse() {
  std::vector<char*> blocks(16384);
  for (char*& block : blocks) {
    block = static_cast<char*>(std::malloc(4096));
    std::memset(block, 1, 4096);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (i % 16 == 0) continue;
    std::free(blocks[i]);
    blocks[i] = nullptr;
  }
  return blocks;
}

TEST(WebEngineProcessMemory, TheFirstWaitGivesBackAndTheNextOnlyAfterItsInterval) {
  std::vector<char*> blocks = FreeAmongBlocksInUse();
  // A look at what is ready is no wait.
  EXPECT_FALSE(ReturnFreedMemoryBeforeWaiting(0));
  const long held = ResidentKb();
  ::poll(nullptr, 0, 1);
  EXPECT_GT(held - ResidentKb(), 32 * 1024);
  for (char* block : blocks) std::free(block);

  blocks = FreeAmongBlocksInUse();
  const long held_again = ResidentKb();
  const int epoll = ::epoll_create1(0);
  epoll_event event{};
  ::epoll_wait(epoll, &event, 1, 1);  // not due yet
  EXPECT_LT(held_again - ResidentKb(), 8 * 1024);
  ::sleep(kFirstReturnIntervalS);
  ::epoll_wait(epoll, &event, 1, 1);
  EXPECT_GT(held_again - ResidentKb(), 32 * 1024);
  ::close(epoll);
  for (char* block : blocks) std::free(block);
}

}  // namespace
}  // namespace qm::qt
