// Widget tests: the application object through the program's own start-up
// (offscreen platform unless one is set), and the start flag that lets the
// worker threads step, as program start sets it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Startup.h"
#include "comm/Commthrd.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::unique_ptr<TApplication> app = StartApplication(argc, argv);
  ApplicationStarted = true;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
