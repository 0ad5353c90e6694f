// SPDX-License-Identifier: MIT
// What sets the editions apart, checked in each edition's own build of the form:
// this file is compiled once per edition, with that edition's profile fixed.
#include "tests/player/FormFixture.h"

#include <array>

using namespace korvane;
using namespace korvane::player;

using Edition = ShownForm;

TEST_F(Edition, KeyDOpensTheDialogOnlyInTheEntryEdition) {
#if KORVANE_HAS_OPEN_FILE_DIALOG
  // A cancelled dialog leaving "file://" is checked end to end.
  std::string filterSeen;
  form.OpenFileDialog = [&](std::string_view filter) {
    filterSeen = filter;
    return std::string(300, 'x');  // no path limit
  };
  EXPECT_EQ(press(68), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetSourceUrl(file://" + std::string(300, 'x') + ")"}));
  using namespace std::string_literals;
  EXPECT_EQ(filterSeen,
            "メディアファイル (すべての種類)\0*.rm;*.ram;*.avi;*.asf;*.asx;*.mid;*.mov;*.mp3;*.mpg;*.wav;*.wma;*.wmv;*.wvx\0"
            "RealMediaファイル (*.rm;*.ram)\0*.rm;*.ram\0ムービーファイル (*.mpg)\0*.mpg;*.mpeg\0"
            "すべてのファイル\0*.*\0"s);
#else
  EXPECT_EQ(press(68), 68);
  EXPECT_TRUE(media.calls.empty());
#endif
}

#if defined(KORVANE_EDITION_VORNA)
TEST_F(Edition, TopLayoutHasOnlyTheFrameAllowance) {
  auto sizes = [&] { return std::array{media.width, media.height, host.width, host.height}; };
  host.width = 6795;
  host.height = 5400;
  for (std::int16_t xp : {0, 1}) {
    form.sw.NotWindowsXP = xp;
    form.Form_Resize();
    EXPECT_EQ(sizes(), (std::array<double, 4>{6695, 5010, 6795, 5400})) << xp;
  }
  form.sw.OriginalFit = 1;
  form.ReDraw();  // no picture: the default window size
  EXPECT_EQ(sizes(), (std::array<double, 4>{6795, 5400, 6895, 5790}));
  media.clipWidth = 320;
  media.clipHeight = 240;
  form.ReDraw();
  EXPECT_EQ(sizes(), (std::array<double, 4>{4800, 3600, 4900, 3990}));
}
#endif

#if defined(KORVANE_EDITION_VORNA) || defined(KORVANE_EDITION_KAMBO)
TEST_F(Edition, EveryPointerEventToggles) {
  media.playState = 3;
  form.PointerEvent(1, 0, 0);
  media.playState = 0;
  form.PointerEvent(2, 5, -1);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"Pause", "Play"}));
}
#endif

#if defined(KORVANE_EDITION_KAMBO)
// Started without a file, it resumes; what Esc writes is checked end to end.
TEST_F(Edition, FullScreenStartUpAndShutdownOrder) {
  for (const char* key : {"AlwaysFront", "OriginalFit", "NotWindowsXP", "ScreenInfoSave", "NotMultiStart",
                          "NotPlayInfoDisplay", "ResumePlay"})
    flag(key);
  write("ResumeInfo", "FilePath", "file:///saved.mp4");
  write("ResumeInfo", "Position", "4000");
  host.anotherInstance = true;
  form.Form_Load();
  const std::vector<std::string> expected = {
      "RealAudio1.SetStartupFlag(1)", "RealAudio1.SetSourceUrl(file://)", "ShowCursor(0)",
      "InhibitScreenSaver", "Top=0", "Left=0", "RealAudio1.SetTop(0)", "RealAudio1.SetLeft(0)",
      "Height=16200", "Width=28800", "RealAudio1.SetHeight(16200)", "RealAudio1.SetWidth(28800)",
      "SetTopmost(0,0,1920,1080)", "RealAudio1.SetSourceUrl(file:///saved.mp4)", "RealAudio1.Seek(4000)"};
  EXPECT_EQ(host.log, expected);  // no hand-over, no geometry, no default size

  media.position = 61500;
  host.log.clear();
  unload();
  EXPECT_EQ(host.log, (std::vector<std::string>{"ShowCursor(1)", "ReleaseScreenSaver"}));
  EXPECT_EQ(settings::profileInt("ResumeInfo", "Position", 0, host.settingsFile), 61500);
}

TEST_F(Edition, FullScreenEventsTakeTheFocusFirstAndDropsAreIgnored) {
  media.playState = 3;
  form.StateChange(3);
  EXPECT_EQ(host.log, std::vector<std::string>{"SetFocus"});  // no layout, no clock
  host.shown = false;  // the focus is refused: no toggle (shown, it toggles: EveryPointerEventToggles)
  form.PointerEvent(1, 0, 0);
  form.Form_OLEDragDrop(std::vector<std::string>{"/dropped.mp4"});
  EXPECT_TRUE(media.calls.empty());
}
#endif
