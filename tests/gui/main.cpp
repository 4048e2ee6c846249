// Widget tests: a QApplication (offscreen platform unless one is set), and the
// start flag that lets the worker threads step, as program start sets it.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "comm/Commthrd.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ApplicationStarted = true;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
