// SPDX-License-Identifier: MIT
// The entry-edition form's interaction through fakes: pane layout, keys, the
// title-bar clock, drops and the engine's events. All at 15 twips per pixel.
#include "player/Form1.h"
#include "player/KeyCodes.h"
#include "tests/fakes/FakeFormHost.h"
#include "tests/fakes/FakeMediaControl.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

using namespace korvane;
using korvane::player::Form1;

namespace {

class FormEvents : public ::testing::Test {
 public:
  void TestBody() override {}  // also built by the layout table, one per row
  void SetUp() override {
    window.shown = true;
    window.width = 7200;   // 480 x 411 px
    window.height = 6165;
    window.onResize = [this] { form.Form_Resize(); };
    platform.log = &window.log;
  }
  // Runs the key handler; returns the key code as the handler left it.
  int press(int key) {
    std::int16_t code = std::int16_t(key);
    form.Form_KeyDown(code, 0);
    return code;
  }
  std::array<double, 3> panes() const { return {media.width, media.height, panel.top}; }

  fakes::FakeMediaControl media;
  fakes::FakeView panel{"RealAudio2", 0, 5040, 7215, 375};
  fakes::FakeWindowHost window;
  fakes::FakePlatform platform;
  Form1 form{media, &panel, window, platform};
};

}  // namespace

TEST(FormLayout, PanesAndWindowFollowTheFitAndXpSwitches) {
  struct Row {
    int fit, xp, clipW, clipH;
    double imageW, imageH, windowW, windowH;
    std::optional<double> panelTop;
  } rows[] = {
      {0, 0, 2, 2, 7100, 5303, 7200, 6165, 5288},  {0, 1, 2, 2, 7100, 5400, 7200, 6165, 5385},
      {1, 0, 320, 240, 4800, 3600, 4900, 4462, 3585}, {1, 1, 320, 240, 4800, 3600, 4900, 4365, 3585},
      // The engine reports 2 x 2 (30 x 30 twips) without a picture: the slim window.
      {1, 0, 2, 2, 3600, 0, 3700, 862, {}},          {1, 1, 2, 2, 3600, 0, 3700, 765, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "fit " << r.fit << " xp " << r.xp << " clip " << r.clipW);
    FormEvents t;
    t.SetUp();
    t.form.sw.OriginalFit = std::int16_t(r.fit);
    t.form.sw.NotWindowsXP = std::int16_t(r.xp);
    t.media.clipWidth = r.clipW;
    t.media.clipHeight = r.clipH;
    t.form.Form_Resize();
    EXPECT_EQ((std::array{t.media.width, t.media.height, t.window.width, t.window.height}),
              (std::array{r.imageW, r.imageH, r.windowW, r.windowH}));
    if (r.panelTop) {
      EXPECT_EQ(t.panel.top, *r.panelTop);
    }
    EXPECT_EQ(t.panel.width, r.imageW);
  }
}

TEST_F(FormEvents, OnePassPlacesThePanelByTheEarlierImageSize) {
  form.ReDraw();
  EXPECT_EQ(panes(), (std::array<double, 3>{7100, 5303, 5055 - 15}));
  EXPECT_EQ(panel.width, 7215);
}

TEST_F(FormEvents, PassCountsFollowTheWindowState) {
  for (auto [state, expected] : {std::pair{player::kNormal, 2}, {player::kMinimized, 1}, {player::kMaximized, 2}}) {
    window.state = state;
    window.log.clear();
    form.Form_Resize();
    EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "SetFocus"), expected) << state;
  }
}

TEST_F(FormEvents, RefusedPassesKeepTheLastAcceptedSizes) {
  window.shown = false;  // no focus before the window is shown: nothing changes
  form.Form_Resize();
  EXPECT_EQ(panes(), (std::array<double, 3>{7215, 5055, 5040}));
  window.shown = true;
  form.Form_Resize();
  window.height = 800;  // below the 862 twips of allowances: the pass ends at the height
  form.Form_Resize();
  EXPECT_EQ(panes(), (std::array<double, 3>{7100, 5303, 5288}));
}

TEST_F(FormEvents, KeysMapToTheirOperationsAndAreConsumed) {
  struct Row {
    int key;
    std::vector<std::string> calls;
    int left;
  } rows[] = {
      {78, {"NextEntry"}, 0},    {66, {"PrevEntry"}, 0},      {76, {"SetOptionL(1)", "Play"}, 0},
      {83, {"OptionSOn"}, 0},    {32, {"Play"}, 0},           {190, {"PeriodCommand"}, 0},
      {77, {"SetOptionM(1)"}, 0}, {219, {"SetLevel(60)"}, 0}, {221, {"SetLevel(-950)"}, 0},
      {70, {"Seek(1400)"}, 0},   {82, {"Seek(-600)"}, 0},     {84, {}, 0},
      {65, {}, 65},  // unknown keys pass on
      {0, {}, 0},
  };
  media.position = 400;
  for (const Row& row : rows) {
    media.calls.clear();
    EXPECT_EQ(press(row.key), row.left) << row.key;
    EXPECT_EQ(media.calls, row.calls) << row.key;
  }
  EXPECT_EQ(platform.settingsToolStarts_, 1);
}

TEST_F(FormEvents, TogglesReadTheirStateFirst) {
  media.optionL = media.optionM = media.optionS = true;
  media.playState = 3;
  EXPECT_EQ(press(76), 0);
  EXPECT_EQ(press(77), 0);
  EXPECT_EQ(press(83), 83);  // S switching off leaves the key code
  EXPECT_EQ(press(32), 0);
  media.playState = 4;
  EXPECT_EQ(press(32), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetOptionL(0)", "Play", "SetOptionM(0)",
                                                   "OptionSOff", "Pause", "Play"}));
}

TEST_F(FormEvents, OverflowingStepsCallNothingAndConsumeNothing) {
  media.level = 32758;
  EXPECT_EQ(press(219), 219);
  media.level = 32757;
  EXPECT_EQ(press(219), 0);
  media.level = -31769;
  EXPECT_EQ(press(221), 221);
  media.position = INT32_MAX - 999;
  EXPECT_EQ(press(70), 70);
  media.position = INT32_MIN + 999;
  EXPECT_EQ(press(82), 82);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetLevel(32767)"}));
}

TEST_F(FormEvents, FailuresLeaveTheKeyUnconsumed) {
  platform.settingsToolStarts = false;
  EXPECT_EQ(press(84), 84);  // no settings tool: nothing visible happens
  media.failing = {"NextEntry"};
  EXPECT_EQ(press(78), 78);
  media.failing = {"Play"};
  EXPECT_EQ(press(76), 76);  // failed after SetOptionL: still not consumed
}

TEST_F(FormEvents, EscAndEnterUnloadOnceAndEndTheProgram) {
  for (int key : {27, 13}) {
    fakes::FakeWindowHost w;
    Form1 f{media, &panel, w, platform};
    std::int16_t code = std::int16_t(key);
    f.Form_KeyDown(code, 0);
    EXPECT_TRUE(w.ended);
    std::int16_t again = 0;
    f.Form_Unload(again);  // the window's own close runs nothing more
  }
}

TEST_F(FormEvents, KeyDOpensTheDialogAndCancelLeavesTheEmptySource) {
  std::string filterSeen;
  form.OpenFileDialog = [&](std::string_view filter) {
    filterSeen = filter;
    return std::string();
  };
  EXPECT_EQ(press(68), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetSourceUrl(file://)"}));
  using namespace std::string_literals;
  EXPECT_EQ(filterSeen,
            "メディアファイル (すべての種類)\0*.rm;*.ram;*.avi;*.asf;*.asx;*.mid;*.mov;*.mp3;*.mpg;*.wav;*.wma;*.wmv;*.wvx\0"
            "RealMediaファイル (*.rm;*.ram)\0*.rm;*.ram\0ムービーファイル (*.mpg)\0*.mpg;*.mpeg\0"
            "すべてのファイル\0*.*\0"s);
  form.OpenFileDialog = [](std::string_view) { return std::string(300, 'x'); };  // no path limit
  press(68);
  EXPECT_EQ(media.source.size(), 307u);
}

TEST(PlayInfo, CaptionsShowNamePositionAndLength) {
  struct Case {
    const char* source;
    std::int32_t position, length;
    const char* caption;
  } cases[] = {
      {"file:///music/song.rm", 65400, 222000, "song.rm [01:05/03:42]"},
      {"file:///music/song.rm", 89600, 222000, "song.rm [01:30/03:42]"},
      {"file:///music/song.rm", 29500, 222000, "song.rm [00:30/03:42]"},
      {"file:///music/song.rm", 150000, 7500000, "song.rm [02:30/125:00]"},
      {"file:///music/TRACK.MP3", 0, 0, "TRACK.MP3 [00:00/00:00]"},
      {"file://", 0, 0, " [00:00/00:00]"},
      {"no separator", 0, 0, " [00:00/00:00]"},
      {"file:///a\\b.rm", 500, 1500, "a\\b.rm [00:00/00:02]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(player::PlayInfoCaption(c.source, c.position, c.length, "", ""), c.caption) << c.source;
  EXPECT_EQ(player::PlayInfoCaption("file:///m/track.mp3", 0, 0, "  Title ", "Artist"), "Title/Artist [00:00/00:00]");
  EXPECT_EQ(player::PlayInfoCaption("file:///m/list.m3u", 0, 0, "", ""), "/ [00:00/00:00]");
  EXPECT_EQ(player::PlayInfoCaption("file:///m/x", 0, 32767 * 60000 + 59000, "", ""), "x [00:00/32767:59]");
  EXPECT_EQ(player::PlayInfoCaption("file:///m/x", 0, 32768 * 60000, "", ""), std::nullopt);  // 16-bit minutes
}

TEST_F(FormEvents, TimerTicksWriteTheCaptionAndFailuresKeepIt) {
  media.source = "file:///music/track.mp3";
  media.label = "  Title ";
  media.sublabel = "Artist";
  form.Timer1_Timer();
  EXPECT_EQ(window.caption, "Title/Artist [00:00/00:00]");
  media.failing = {"Position"};
  form.Timer1_Timer();
  EXPECT_EQ(window.caption, "Title/Artist [00:00/00:00]");
}

TEST_F(FormEvents, StateThreeStartsTheClockUnlessPlayInfoIsOff) {
  media.raiseStateChange(1);
  EXPECT_FALSE(window.timer1);
  media.raiseStateChange(3);
  EXPECT_TRUE(window.timer1);
  EXPECT_EQ(media.height, 5303);  // a layout pass ran

  fakes::FakeWindowHost quiet;
  Form1 f{media, &panel, quiet, platform};
  f.sw.NotPlayInfoDisplay = 1;
  media.raiseStateChange(3);
  EXPECT_FALSE(quiet.timer1);
}

TEST_F(FormEvents, PointerTogglesOnlyBelowThePanelHeight) {
  media.playState = 3;
  form.PointerEvent(1, 10, 24);
  EXPECT_TRUE(media.calls.empty());
  form.PointerEvent(1, 10, 25);
  media.playState = 4;
  form.PointerEvent(1, 10, 400);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"Pause", "Play"}));
  media.failing = {"PlayState"};
  EXPECT_NO_THROW(form.PointerEvent(1, 10, 400));
}

TEST_F(FormEvents, DropsSetEachFileInOrder) {
  form.Form_OLEDragDrop(std::vector<std::string>{"/a.mp4", "/folder", "/c d.txt"});
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetSourceUrl(file:///a.mp4)", "SetSourceUrl(file:///folder)",
                                                   "SetSourceUrl(file:///c d.txt)"}));
  media.calls.clear();
  form.Form_OLEDragDrop(std::nullopt);
  EXPECT_TRUE(media.calls.empty());
}

TEST(KeyCodes, KeysMapByTheirCharacterWithShiftIgnored) {
  struct Case {
    int qtKey;
    bool keypad;
    std::optional<unsigned long> keysym;
    int code;
  } cases[] = {
      {0x4e, false, 0x6e, 78},             // n and N alike
      {'>', false, 0x2e, 190},             // Shift+. acts like .
      {'{', false, 0x5b, 219},             // Shift+[ acts like [
      {0x01000005, true, 0xff8d, 13},      // keypad Enter
      {0x2e, true, 0xffae, 0},             // the keypad's decimal point
      {0x31, false, 0x31, 0},              // digits are not the player's
      // Without the platform's help, Qt's key decides.
      {0x2e, false, {}, 190}, {0x5d, false, {}, 221}, {0x01000000, false, {}, 27},
      {0x01000004, false, {}, 13}, {0x20, false, {}, 32}, {'>', false, {}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(player::virtualKeyCode(c.qtKey, c.keypad, c.keysym), c.code) << c.qtKey;
}
