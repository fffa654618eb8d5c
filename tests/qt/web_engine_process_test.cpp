// This test program links the web engine's process memory return, so its own waits
// (poll, epoll_wait) give back what lies free, as the web engine's threads' waits do.
#include "qt/web_engine_process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include "support/held_memory.h"

namespace qm::qt {
namespace {

using testing::FreeAmongBlocksInUse;
using testing::ResidentKb;

TEST(WebEngineProcessMemory, TheFirstWaitGivesBackAndTheNextOnlyAfterItsInterval) {
  auto blocks = FreeAmongBlocksInUse();
  // A look at what is ready is no wait.
  EXPECT_FALSE(ReturnFreedMemoryBeforeWaiting(0));
  const long held = ResidentKb();
  ::poll(nullptr, 0, 1);
  EXPECT_GT(held - ResidentKb(), 32 * 1024);
  testing::FreeBlocks(blocks);

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
  testing::FreeBlocks(blocks);
}

}  // namespace
}  // namespace qm::qt
