// SPDX-License-Identifier: MIT
// main for the media view tests: a widget application on the display the test command
// provides (Xvfb), Mesa's software OpenGL, then LC_NUMERIC back to "C" for libmpv.
#include <gtest/gtest.h>

#include <QApplication>

#include <clocale>
#include <string_view>

int main(int argc, char** argv) {
  // Listing the tests (CTest's discovery) needs no display.
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]).starts_with("--gtest_list_tests")) {
      ::testing::InitGoogleTest(&argc, argv);
      return RUN_ALL_TESTS();
    }
  if (qEnvironmentVariableIsEmpty("LIBGL_ALWAYS_SOFTWARE")) qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
