// SPDX-License-Identifier: MIT
// Hand-over cost: the time from starting a second standard player with NotMultiStart on
// until the first has saved and exited and the second shows its picture, against
// starting a player with no earlier instance. Needs a display; prints medians.
#include "tests/e2e/Desktop.h"
#include "tests/e2e/TestDisplay.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace korvane::e2e;
using Clock = std::chrono::steady_clock;

namespace {

const char* kPlayer = "KorvaneRP3LX";

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (const std::string error = korvane::testing::startPrivateDisplay(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const QString clip = QString::fromStdString(longClip().string());
  std::vector<double> alone, handover;
  for (int i = 0; i < rounds; ++i) {
    ScratchInstall install{kPlayer};
    install.useEnvironmentHere();
    for (const char* flag : {"NotMultiStart", "NotPlayInfoDisplay", "ScreenInfoSave", "ResumePlay"})
      install.setFlag(flag, "1");
    auto t0 = Clock::now();
    Program first(install, kPlayer, {clip});
    if (!first.waitForWindow() || !waitFor([&] { return first.showsPicture(); }, 15s)) return 1;
    alone.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());

    auto t1 = Clock::now();
    Program second(install, kPlayer, {clip});
    if (!second.waitForWindow() || !first.waitForExit(15s) || !waitFor([&] { return second.showsPicture(); }, 15s))
      return 1;
    handover.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t1).count());
  }
  std::printf("start to picture, median of %d runs (ms)\n", rounds);
  std::printf("  no earlier instance:          %8.0f\n", median(alone));
  std::printf("  handing over from an earlier: %8.0f\n", median(handover));
  std::printf("  hand-over cost:               %8.0f\n", median(handover) - median(alone));
  return 0;
}
