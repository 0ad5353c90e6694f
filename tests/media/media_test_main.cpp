// SPDX-License-Identifier: MIT
// main for the headless media tests: the application object first, then LC_NUMERIC back
// to "C" (the application sets it from the environment; libmpv refuses anything else).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <clocale>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
