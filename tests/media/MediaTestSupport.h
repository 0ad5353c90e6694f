// SPDX-License-Identifier: MIT
// Shared by the media tests: where the clips are, waiting on real events with a deadline,
// and an event sink that records what the engine raised.
#pragma once

#include "player/media/MediaControl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace korvane::testing {

inline std::string clip(const std::string& name) { return std::string(KORVANE_TEST_DATA_DIR) + "/media/" + name; }
inline std::string clipUrl(const std::string& name) { return "file://" + clip(name); }

// Runs the event loop until `done()` or `ms` have passed; returns done().
template <typename Done>
bool waitFor(Done done, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  QTimer tick;  // wakes the loop to look at the deadline even when nothing happens
  tick.start(20);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  return done();
}

// Runs the event loop for `ms`: lets late events arrive before checking nothing changed.
inline void settle(int ms) { waitFor([] { return false; }, ms); }

struct RecordingSink : media::MediaEvents {
  std::vector<std::int32_t> states;
  std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t>> pointers;  // button, x, y
  // Picture size read while handling each StateChange, as the layout pass would.
  std::vector<std::pair<std::int32_t, std::int32_t>> pictureAtEvent;
  const media::MediaControl* control = nullptr;

  void StateChange(std::int32_t state) override {
    states.push_back(state);
    if (control) pictureAtEvent.emplace_back(control->ClipWidth(), control->ClipHeight());
  }
  void PointerEvent(std::int32_t button, std::int32_t x, std::int32_t y) override { pointers.emplace_back(button, x, y); }
  bool saw(std::int32_t state) const { return std::ranges::find(states, state) != states.end(); }
};

}  // namespace korvane::testing
