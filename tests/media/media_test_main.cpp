// SPDX-License-Identifier: MIT
// main for the media tests: the application object first (for the view tests a widget
// application on an X server of the test program's own, with Mesa's software OpenGL),
// then LC_NUMERIC back to "C" (the application sets it from the environment; libmpv
// refuses anything else).
#include <gtest/gtest.h>

#ifdef KORVANE_VIEW_TESTS
#include "tests/e2e/TestDisplay.h"

#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // CTest's discovery needs no display
#ifdef KORVANE_VIEW_TESTS
  if (const std::string error = korvane::testing::startPrivateDisplay(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  if (qEnvironmentVariableIsEmpty("LIBGL_ALWAYS_SOFTWARE")) qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
  QApplication app(argc, argv);
#else
  QCoreApplication app(argc, argv);
#endif
  std::setlocale(LC_NUMERIC, "C");
  return RUN_ALL_TESTS();
}
