// Test main: a QCoreApplication exists for every test, because the worker
// thread hands status to the host thread through queued calls and the reply
// timer is a QTimer. Tests pump events with support/EventLoop.h helpers.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
