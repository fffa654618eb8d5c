// The main function of the test programs that run Flash controls: the web engine is
// prepared as in the programs, before the application exists.
#include <gtest/gtest.h>

#include <QApplication>

#include "qt/web_engine_host.h"

int main(int argc, char** argv) {
  qm::qt::PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  qm::qt::WebEngineHostStarted();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
