// SPDX-License-Identifier: MIT
// The form of the edition being built, on fakes that share one log: window and
// desktop calls as they are, the engine's prefixed "RealAudio1.".
#pragma once

#include "player/Form1.h"
#include "settings/ProfileFile.h"
#include "tests/fakes/FakeFormHost.h"
#include "tests/fakes/FakeMediaControl.h"

#include <gtest/gtest.h>

namespace korvane::player {

class FormTest : public ::testing::Test {
 protected:
  FormTest() {
    media.log = &host.log;
    panel.top = 5040;  // the control panel under the image window
    panel.height = 375;
    host.onResize = [this] { form.Form_Resize(); };
  }
  void write(const char* section, const char* key, const std::string& value) {
    settings::writeProfileString(section, key, value, host.settingsFile);
  }
  void flag(const char* key, const char* value = "1") { write("Korvane RP 3", key, value); }
  // Runs the key handler; returns the key code as the handler left it.
  int press(int key) {
    std::int16_t code = std::int16_t(key);
    form.Form_KeyDown(code, 0);
    return code;
  }
  void unload() {
    std::int16_t cancel = 0;
    form.Form_Unload(cancel);
  }

  fakes::FakeMediaControl media, panel;
  fakes::FakeFormHost host;
  Form1 form{media, kEdition.hasControlPanel ? &panel : nullptr, host, host};
};

}  // namespace korvane::player
