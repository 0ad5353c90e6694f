// SPDX-License-Identifier: MIT
// The end-to-end tests run on an X server of their own; registry lookups from the test
// need Qt's core.
#include "tests/e2e/TestDisplay.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests)) {  // CTest's discovery needs no display
    if (const std::string error = korvane::testing::startPrivateDisplay(); !error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  return RUN_ALL_TESTS();
}
