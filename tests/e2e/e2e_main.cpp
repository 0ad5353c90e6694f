// SPDX-License-Identifier: MIT
// The end-to-end tests need a display; registry lookups from the test need Qt's core.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
