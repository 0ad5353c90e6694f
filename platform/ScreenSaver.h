// SPDX-License-Identifier: MIT
// Keeps the screen saver away while the full-screen player runs, without touching
// the user's own setting: an inhibition on the session bus (the screen-saver service,
// else the desktop portal, which Wayland sessions offer), or the X11 screen-saver
// extension where no bus service answers. All end with the process if it dies.
#pragma once

#include <QString>

struct _XDisplay;

namespace korvane::platform {

class ScreenSaverInhibitor {
 public:
  enum class Via { Off, SessionBus, Portal, X11 };

  ScreenSaverInhibitor(QString application, QString reason);
  ~ScreenSaverInhibitor();  // releases
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

  // Blocks for at most a couple of seconds on a bus service that does not answer.
  Via inhibit();
  void release();
  Via via() const { return via_; }

 private:
  bool inhibitOnBus();
  bool inhibitThroughPortal();

  QString application_, reason_, path_;
  Via via_ = Via::Off;
  unsigned cookie_ = 0;
  _XDisplay* display_ = nullptr;
};

}  // namespace korvane::platform
