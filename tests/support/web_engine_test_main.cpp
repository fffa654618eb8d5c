// The main function of the test programs that run Flash controls: the web engine's
// scheme is registered before the application exists, and the web engine runs without
// its sandbox as root (it refuses to start the sandbox then).
#include <gtest/gtest.h>

#include <QApplication>

#include <unistd.h>

#include "qt/flash_scheme.h"

int main(int argc, char** argv) {
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  qm::qt::FlashScheme::Register();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
