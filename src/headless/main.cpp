#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "headless/driver.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // The journal is JSON lines ending in LF on every system: no CR LF from the C runtime.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return qm::headless::RunHeadless(argc, argv, std::cin, std::cout, std::cerr);
}
