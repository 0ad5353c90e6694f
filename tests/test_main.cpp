// SPDX-License-Identifier: MIT
// main for the tests that need Qt's application object, on an X server of their own when
// linked with the test display. LC_NUMERIC goes back to "C": libmpv refuses anything else.
#include <gtest/gtest.h>

#ifdef KORVANE_TEST_DISPLAY
#include "tests/e2e/TestDisplay.h"
#endif
#include <QCoreApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // CTest's discovery needs no display
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
#ifdef KORVANE_TEST_DISPLAY
  if (const std::string error = korvane::testing::startPrivateDisplay(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const int failed = RUN_ALL_TESTS();
  korvane::testing::stopPrivateDisplay();
  return failed;
#else
  return RUN_ALL_TESTS();
#endif
}
