// The window model's tests run the engine's events through a Qt event loop on this thread.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char **argv) {
  QCoreApplication Application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
