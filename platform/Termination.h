// SPDX-License-Identifier: MIT
// A program told to end (SIGTERM, SIGINT, SIGHUP: logout, Ctrl+C, a closed terminal)
// closes its window the normal way, so its settings are written as at any close.
#pragma once

#include <functional>

namespace korvane::platform {

// Runs `handler` on the GUI thread at the first such signal; a second one ends the
// program at once, so a stuck close never keeps it alive. Needs the application object.
void onTerminationRequest(std::function<void()> handler);

}  // namespace korvane::platform
