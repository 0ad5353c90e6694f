// SPDX-License-Identifier: MIT
// The entry-edition form's interaction through fakes: pane layout, keys, the
// title-bar clock, drops and the engine's events.
#include "player/KeyCodes.h"
#include "tests/player/FormFixture.h"

#include <array>
#include <optional>
#include <tuple>

using namespace korvane::player;

// The form once its window is shown.
class FormEvents : public FormTest {
 protected:
  FormEvents() { host.shown = true; }
  // Image width and height, window width and height, the panel's top.
  using Panes = std::array<double, 5>;
  Panes panes() const { return {media.width, media.height, host.width, host.height, panel.top}; }
};

TEST_F(FormEvents, PanesAndWindowFollowTheFitAndXpSwitches) {
  // OriginalFit, NotWindowsXP, the clip's size in pixels, the panes after a resize.
  std::tuple<std::int16_t, std::int16_t, std::int32_t, std::int32_t, Panes> rows[] = {
      {0, 0, 2, 2, {7100, 5303, 7200, 6165, 5288}},    {0, 1, 2, 2, {7100, 5400, 7200, 6165, 5385}},
      {1, 0, 320, 240, {4800, 3600, 4900, 4462, 3585}}, {1, 1, 320, 240, {4800, 3600, 4900, 4365, 3585}},
      // The engine reports 2 x 2 (30 x 30 twips) without a picture: the slim window.
      {1, 0, 2, 2, {3600, 0, 3700, 862, -15}},          {1, 1, 2, 2, {3600, 0, 3700, 765, -15}},
      // Larger than the work area: scaled down to whole pixels within it, 16:9 kept.
      {1, 0, 3840, 2160, {26190, 14730, 26290, 15592, 14715}},  // 1746 x 982 px
  };
  // The rows without OriginalFit come first, while the window keeps its default size.
  for (const auto& [fit, xp, clipWidth, clipHeight, expected] : rows) {
    form.sw.OriginalFit = fit;
    form.sw.NotWindowsXP = xp;
    media.clipWidth = clipWidth;
    media.clipHeight = clipHeight;
    form.Form_Resize();
    EXPECT_EQ(panes(), expected) << "fit " << fit << " xp " << xp << " clip " << clipWidth;
  }
}

// Level is 16-bit and Position 32-bit: an overflow calls nothing and, like a missing
// settings tool or S switching off, leaves the key to the focused pane. L reads its state.
TEST_F(FormEvents, KeysMapToTheirOperationsAndAreConsumedUnlessTheyCannotAct) {
  // The key, the engine's calls, the key code as the handler leaves it.
  std::tuple<int, std::vector<std::string>, int> rows[] = {
      {78, {"NextEntry"}, 0},    {66, {"PrevEntry"}, 0},      {76, {"SetOptionL(1)", "Play"}, 0},
      {83, {"OptionSOn"}, 0},    {32, {"Play"}, 0},           {190, {"PeriodCommand"}, 0},
      {77, {"SetOptionM(1)"}, 0}, {219, {"SetLevel(60)"}, 0}, {221, {"SetLevel(-950)"}, 0},
      {70, {"Seek(1400)"}, 0},   {82, {"Seek(-600)"}, 0},     {84, {}, 0},  // T starts the settings tool
      {65, {}, 65},              {0, {}, 0},                  // unknown keys pass on
      {27, {}, 27},                                           // Esc closes
  };
  media.position = 400;
  for (const auto& [key, calls, left] : rows) {
    media.calls.clear();
    EXPECT_EQ(press(key), left) << key;
    EXPECT_EQ(media.calls, calls) << key;
  }

  media.calls.clear();
  for (auto [key, level, position] : {std::tuple{219, 32758, 0}, {221, -31769, 0}, {70, 0, INT32_MAX - 999},
                                      {82, 0, INT32_MIN + 999}}) {
    media.level = std::int16_t(level);
    media.position = position;
    EXPECT_EQ(press(key), key);
  }
  media.level = 32757;
  EXPECT_EQ(press(219), 0);
  host.settingsToolPresent = false;
  EXPECT_EQ(press(84), 84);
  media.optionL = media.optionS = true;
  EXPECT_EQ(press(83), 83);
  EXPECT_EQ(press(76), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetLevel(32767)", "OptionSOff", "SetOptionL(0)", "Play"}));
}

TEST(PlayInfo, CaptionsShowNamePositionAndLength) {
  std::tuple<const char*, std::int32_t, std::int32_t, const char*> cases[] = {
      {"file:///music/song.rm", 89600, 222000, "song.rm [01:30/03:42]"},
      {"file:///music/song.rm", 150000, 7500000, "song.rm [02:30/125:00]"},
      {"file:///music/TRACK.MP3", 0, 0, "TRACK.MP3 [00:00/00:00]"},
      {"file:///m/list.m3u", 0, 0, "/ [00:00/00:00]"},
      {"file://", 0, 0, " [00:00/00:00]"},
      {"no separator", 0, 0, " [00:00/00:00]"},
      {"file:///a\\b.rm", 500, 1500, "a\\b.rm [00:00/00:02]"},
      {"file:///m/x", 0, 32767 * 60000 + 59000, "x [00:00/32767:59]"},
  };
  for (auto [source, position, length, caption] : cases)
    EXPECT_EQ(PlayInfoCaption(source, position, length, "", ""), caption) << source;
  EXPECT_EQ(PlayInfoCaption("file:///m/x", 0, 32768 * 60000, "", ""), std::nullopt);  // 16-bit minutes
}

TEST(KeyCodes, KeysMapByTheirCharacterWithShiftIgnored) {
  // Qt's key, whether on the keypad, the key's unshifted keysym, the code.
  std::tuple<int, bool, std::optional<unsigned long>, int> cases[] = {
      {'{', false, 0x5b, 219},             // Shift+[ acts like [
      {0x01000005, true, 0xff8d, 13},      // keypad Enter
      {0x2e, true, 0xffae, 0},             // the keypad's decimal point
      {0x31, false, 0x31, 0},              // digits are not the player's
      // Without the platform's help, Qt's key decides.
      {0x2e, false, {}, 190}, {0x5d, false, {}, 221}, {0x01000000, false, {}, 27},
      {0x01000004, false, {}, 13}, {0x20, false, {}, 32}, {'>', false, {}, 0},
  };
  for (auto [qtKey, keypad, keysym, code] : cases) EXPECT_EQ(virtualKeyCode(qtKey, keypad, keysym), code) << qtKey;
}
