// Memory freed among blocks still in use, which glibc keeps until asked: for the tests
// of giving it back to the system.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace qm::testing {

// This process's resident memory.
inline long ResidentKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// 64 MB in 4 KiB blocks, of which one in 16 stays in use: the rest lies free between
// them. The blocks kept are returned, for FreeBlocks.
inline std::vector<char*> FreeAmongBlocksInUse() {
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

inline void FreeBlocks(const std::vector<char*>& blocks) {
  for (char* block : blocks) std::free(block);
}

}  // namespace qm::testing
