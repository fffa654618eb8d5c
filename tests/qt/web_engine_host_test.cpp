#include "qt/web_engine_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "support/held_memory.h"

namespace qm::qt {
namespace {

using testing::FreeAmongBlocksInUse;
using testing::ResidentKb;

// What was freed among blocks still in use goes back to the system a while after the
// call; the allocator alone keeps it.
TEST(ReturnFreedMemoryLater, GivesBackWhatLiesFreeAmongBlocksInUse) {
  int argc = 1;
  char name[] = "web_engine_host_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  const auto blocks = FreeAmongBlocksInUse();
  const long freed_but_held = ResidentKb();
  ReturnFreedMemoryLater();
  QTimer::singleShot(4000, &app, &QCoreApplication::quit);  // the call waits 3 s
  app.exec();
  EXPECT_GT(freed_but_held - ResidentKb(), 32 * 1024);
  testing::FreeBlocks(blocks);
}

}  // namespace
}  // namespace qm::qt
