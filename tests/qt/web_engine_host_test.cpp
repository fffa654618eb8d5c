#include "qt/web_engine_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace qm::qt {
namespace {

long ResidentKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * 4;
}

// What was freed among blocks still in use goes back to the system a while after the
// call; the allocator alone keeps it.
TEST(ReturnFreedMemoryLater, GivesBackWhatLiesFreeAmongBlocksInUse) {
  int argc = 1;
  char name[] = "web_engine_host_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  std::vector<char*> blocks(16384);
  for (char*& block : blocks) {
    block = static_cast<char*>(std::malloc(4096));
    std::memset(block, 1, 4096);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (i % 16 == 0) continue;  // kept: the freed blocks lie between these
    std::free(blocks[i]);
    blocks[i] = nullptr;
  }
  const long freed_but_held = ResidentKb();
  ReturnFreedMemoryLater();
  QTimer::singleShot(4000, &app, &QCoreApplication::quit);  // the call waits 3 s
  app.exec();
  EXPECT_GT(freed_but_held - ResidentKb(), 32 * 1024);
  for (char* block : blocks) std::free(block);
}

}  // namespace
}  // namespace qm::qt
