// SPDX-License-Identifier: MIT
// What sets the editions apart, checked in each edition's own build of the form:
// this file is compiled once per edition, with that edition's profile fixed.
#include "player/Form1.h"
#include "settings/ProfileFile.h"
#include "tests/fakes/FakeFormHost.h"
#include "tests/fakes/FakeMediaControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::player;

namespace {

class Edition : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvane-edition-XXXXXX";
    dir = ::mkdtemp(tmpl);
    platform.settingsFile = dir / "kvnset.ini";
    platform.log = &window.log;
    media.log = &window.log;
    window.shown = true;
  }
  void TearDown() override { fs::remove_all(dir); }
  void flag(const char* key, const char* value = "1") {
    settings::writeProfileString("Korvane RP 3", key, value, platform.settingsFile);
  }
  int press(int key) {
    std::int16_t code = std::int16_t(key);
    form.Form_KeyDown(code, 0);
    return code;
  }
  std::array<double, 4> sizes() const { return {media.width, media.height, window.width, window.height}; }
  std::vector<std::string> logFrom(size_t from) const {
    return {window.log.begin() + long(from), window.log.end()};
  }

  fs::path dir;
  fakes::FakeMediaControl media;
  fakes::FakeView panel{"RealAudio2", 0, 5040, 7215, 375};
  fakes::FakeWindowHost window;
  fakes::FakePlatform platform;
  Form1 form{media, kEdition.hasControlPanel ? &panel : nullptr, window, platform};
};

}  // namespace

#if defined(KORVANE_EDITION_ZELTA)
TEST(EditionProfiles, EachEditionCarriesItsRowOfTheTable) {
  using Row = std::tuple<std::string_view, std::string_view, std::string_view, Border, bool, bool, bool, bool, bool,
                         bool, bool, bool, int, int, PointerRule, std::string_view, std::string_view>;
  auto row = [](const EditionProfile& p) {
    return Row{p.programName, p.applicationTitle, p.designCaption, p.border, p.minMaxButtons, p.shownInTaskbar,
               p.hasControlPanel, p.hasTimer1, p.hasOpenFileDialog, p.acceptsDrops, p.remembersGeometry,
               p.handOver, p.defaultWidthPx, p.defaultHeightPx, p.pointerRule, p.handOverOwnTitle,
               p.handOverSearchTitle};
  };
  // name, title, caption, border, buttons, taskbar, panel, timer, dialog, drops, geometry, hand-over,
  // default size, pointer rule, hand-over titles (own, searched)
  EXPECT_EQ(row(kEntryEdition), (Row{"KorvaneRP3LXZELTA", "Korvane RP 3 LX ZELTA", "Korvane RP 3 LX ZELTA",
                                     Border::Sizable, true, true, true, true, true, true, true, true, 480, 411,
                                     PointerRule::PanelHeight, "Korvane RP 3-2 LX", "Korvane RP 3 LX"}));
  EXPECT_EQ(row(kStandardEdition), (Row{"KorvaneRP3LX", "Korvane RP 3 LX", "Korvane RP 3 LX", Border::Sizable,
                                        true, true, true, true, false, true, true, true, 480, 411,
                                        PointerRule::PanelHeight, "Korvane RP 3-2 LX", "Korvane RP 3 LX"}));
  EXPECT_EQ(row(kTopEdition), (Row{"KorvaneRP3LXVORNA", "Korvane RP 3 LX VORNA", "", Border::SizableToolWindow,
                                   false, false, false, true, false, true, true, true, 453, 360,
                                   PointerRule::Every, "Korvane WMP 3 LX VORNA", ""}));
  EXPECT_EQ(row(kFullScreenEdition), (Row{"KorvaneRP3LXKAMBO", "Korvane RP 3 LX KAMBO", "", Border::None, false,
                                          false, false, false, false, false, false, false, 0, 0,
                                          PointerRule::FocusThenEvery, kFullScreenEdition.handOverOwnTitle,
                                          kFullScreenEdition.handOverSearchTitle}));
  EXPECT_EQ(std::pair(kTopEdition.screenWidthDefault, kTopEdition.screenHeightDefault), std::pair(453, 360));
}
#endif

TEST_F(Edition, SharedKeysBehaveAlikeAndDOnlyInTheEntryEdition) {
  media.level = 50;
  media.position = 400;
  EXPECT_EQ(press(219), 0);
  EXPECT_EQ(press(221), 0);
  EXPECT_EQ(press(82), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetLevel(60)", "SetLevel(-950)", "Seek(-600)"}));
  media.calls.clear();
#if KORVANE_HAS_OPEN_FILE_DIALOG
  form.OpenFileDialog = [](std::string_view) { return std::string("/x.mp4"); };
  EXPECT_EQ(press(68), 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetSourceUrl(file:///x.mp4)"}));
#else
  EXPECT_EQ(press(68), 68);
  EXPECT_TRUE(media.calls.empty());
#endif
}

#if !defined(KORVANE_EDITION_KAMBO)
TEST_F(Edition, DefaultSizeAndGeometryDefaultsAreTheEditions) {
  const std::array<double, 2> size{kEdition.defaultWidthPx * 15.0, kEdition.defaultHeightPx * 15.0};
  form.Form_Load();
  EXPECT_EQ((std::array{window.width, window.height}), size);
  flag("ScreenInfoSave");
  Form1 restored{media, nullptr, window, platform};
  restored.Form_Load();  // no "Screen" section: the read defaults give the same size at the top left
  EXPECT_EQ((std::array{window.left, window.top, window.width, window.height}),
            (std::array{0.0, 0.0, size[0], size[1]}));
}

TEST_F(Edition, HandOverUsesTheEditionsTexts) {
  flag("NotMultiStart");
  platform.anotherInstance = true;
  form.Form_Load();
  EXPECT_EQ(window.appTitle, kEdition.handOverOwnTitle);
  EXPECT_EQ(window.caption, kEdition.handOverCaption);
  EXPECT_NE(std::find(window.log.begin(), window.log.end(),
                      "CloseWindowTitled(" + std::string(kEdition.handOverSearchTitle) + ")"),
            window.log.end());
}
#endif

#if defined(KORVANE_EDITION_VORNA)
TEST_F(Edition, TopLayoutHasOnlyTheFrameAllowance) {
  window.width = 6795;
  window.height = 5400;
  for (int xp : {0, 1}) {
    form.sw.NotWindowsXP = std::int16_t(xp);
    for (int pass = 0; pass < 2; ++pass) {
      form.ReDraw();
      EXPECT_EQ(sizes(), (std::array<double, 4>{6695, 5010, 6795, 5400})) << xp << pass;
    }
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
TEST_F(Edition, FullScreenStartUpAndShutdownOrder) {
  window.screenWidth = 1920 * 15;
  window.screenHeight = 1080 * 15;
  for (const char* key : {"AlwaysFront", "OriginalFit", "NotWindowsXP", "ScreenInfoSave", "NotMultiStart",
                          "NotPlayInfoDisplay", "ResumePlay"})
    flag(key);
  platform.anotherInstance = true;
  platform.commandLine = "\"/v/a b.mp4\"";
  form.Form_Load();
  const std::vector<std::string> expected = {
      "RealAudio1.SetStartupFlag(1)", "RealAudio1.SetSourceUrl(file:///v/a b.mp4)", "ShowCursor(0)",
      "InhibitScreenSaver", "Top=0", "Left=0", "RealAudio1.SetTop(0)", "RealAudio1.SetLeft(0)",
      "Height=16200", "Width=28800", "RealAudio1.SetHeight(16200)", "RealAudio1.SetWidth(28800)",
      "SetTopmost(0,0,1920,1080)"};
  EXPECT_EQ(window.log, expected);  // no hand-over, no geometry, no default size
  EXPECT_EQ(form.sw.ResumePlay, 1);
  EXPECT_EQ(form.sw.ScreenInfoSave, 0);

  media.position = 61500;
  const size_t before = window.log.size();
  std::int16_t cancel = 27;
  form.Form_Unload(cancel);
  EXPECT_EQ(logFrom(before), (std::vector<std::string>{"ShowCursor(1)", "ReleaseScreenSaver"}));
  EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", platform.settingsFile), "file:///v/a b.mp4");
  EXPECT_EQ(settings::profileInt("ResumeInfo", "Position", 0, platform.settingsFile), 61500);
  EXPECT_EQ(settings::profileInt("Screen", "Width", -1, platform.settingsFile), -1);
}

TEST_F(Edition, FullScreenResumesOnlyWithoutAFileAndIgnoresDrops) {
  flag("ResumePlay");
  settings::writeProfileString("ResumeInfo", "FilePath", "file:///saved.mp4", platform.settingsFile);
  settings::writeProfileString("ResumeInfo", "Position", "4000", platform.settingsFile);
  form.Form_Load();
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file://)",
                                                   "SetSourceUrl(file:///saved.mp4)", "Seek(4000)"}));
  media.calls.clear();
  form.Form_OLEDragDrop(std::vector<std::string>{"/dropped.mp4"});
  EXPECT_TRUE(media.calls.empty());
}

TEST_F(Edition, FullScreenEventsTakeTheFocusFirst) {
  media.playState = 3;
  form.StateChange(3);
  EXPECT_FALSE(window.timer1);
  EXPECT_EQ(window.log.back(), "SetFocus");
  window.shown = false;  // the focus is refused: the toggle does not run
  form.PointerEvent(1, 0, 0);
  EXPECT_TRUE(media.calls.empty());
  window.shown = true;
  form.PointerEvent(1, 0, 0);
  EXPECT_EQ(media.calls, (std::vector<std::string>{"Pause"}));
}
#endif
