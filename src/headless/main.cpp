#include <iostream>

#include "headless/driver.h"

int main(int argc, char** argv) {
  return qm::headless::RunHeadless(argc, argv, std::cin, std::cout, std::cerr);
}
