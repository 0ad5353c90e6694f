// SPDX-License-Identifier: MIT
// The entry-edition form through fakes that share one log (window and desktop calls as
// they are, the engine's prefixed "RealAudio1."): start-up and shutdown, pane layout, keys
// and the title-bar caption.
#include "player/Form1.h"
#include "player/KeyCodes.h"
#include "settings/ProfileFile.h"
#include "tests/fakes/FakeFormHost.h"
#include "tests/fakes/FakeMediaControl.h"
#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <tuple>

namespace korvane::player {
namespace {

namespace fs = std::filesystem;

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

using FormSpine = FormTest;

TEST(CommandLine, OnePairOfQuotesAroundTheWholeTextIsRemoved) {
  for (auto [given, path] : {std::pair{"", ""}, {"\"\"", ""}, {"\"", "\""}, {"/a b.mp4", "/a b.mp4"},
                             {"\"/x/\"q\".mp4\"", "/x/\"q\".mp4"}, {"\"/x.mp4", "\"/x.mp4"}})
    EXPECT_EQ(PathUnquoteSpaces(given), path) << given;
}

TEST_F(FormSpine, TopmostThenGeometryBeforeAndResumeAfterTheEarlierInstanceCloses) {
  for (const char* key : {"AlwaysFront", "ScreenInfoSave", "NotMultiStart", "ResumePlay"}) flag(key);
  for (auto [key, value] : {std::pair{"Height", "300"}, {"Width", "400"}, {"Top", "150"}, {"Left", "-1500"}})
    write("Screen", key, value);
  write("ResumeInfo", "FilePath", "file:///old.mp4");
  host.anotherInstance = true;
  host.onClose = [&] {  // the earlier instance writes its settings as it closes
    write("Screen", "Width", "999");
    write("ResumeInfo", "FilePath", "file:///closed one.mp4");
    write("ResumeInfo", "Position", "61500");
  };
  form.Form_Load();
  // Not shown yet, the window's resizes lay nothing out.
  EXPECT_EQ(host.log, (std::vector<std::string>{
                          "RealAudio1.SetStartupFlag(1)", "RealAudio1.SetSourceUrl(file://)",
                          "SetTopmost(266,207,480,411)",  // the design geometry in pixels
                          "Width=6000", "Height=4500", "Top=150", "Left=-1500",  // off screen, as saved
                          "AppTitle=Korvane RP 3-2 LX", "Caption=Korvane RP 3-2 LX",
                          "CloseWindowTitled(Korvane RP 3 LX)", "Caption=Korvane RP 3 LX",
                          "RealAudio1.SetSourceUrl(file:///closed one.mp4)", "RealAudio1.Seek(61500)"}));
}

// A clip path the file refuses (a line break) leaves the earlier resume pair whole.
TEST_F(FormSpine, AResumePathTheFileRefusesLeavesTheEarlierPairWhole) {
  flag("ResumePlay");
  write("ResumeInfo", "FilePath", "file:///saved.mp4");
  write("ResumeInfo", "Position", "1000");
  host.commandLine = "/a\nb.mp4";
  form.Form_Load();
  media.position = 61500;
  const std::string before = fakes::slurp(host.settingsFile);
  unload();
  EXPECT_EQ(fakes::slurp(host.settingsFile), before);
}

// A file on the command line is played instead of the resume point, and replaces it at shutdown.
TEST_F(FormSpine, AGivenFileIsNotResumedAndShutdownWritesPixelsRoundedHalfEvenAndTwipsAsTheyAreOnce) {
  flag("ScreenInfoSave");
  flag("ResumePlay");
  write("ResumeInfo", "FilePath", "file:///saved.mp4");
  host.commandLine = "/clip.mp4";
  form.Form_Load();
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file:///clip.mp4)"}));
  host.state = kMaximized;  // a maximised window is saved as it is
  host.width = 7207.5;      // 480.5 px -> 480
  host.height = 6187.5;     // 412.5 px -> 412
  host.top = 32767.5;       // -> 32768, beyond 16 bits
  host.left = -1500.5;      // -> -1500
  media.position = 61500;
  EXPECT_EQ(press(13), 13);  // Enter closes and ends the program
  EXPECT_EQ(host.log.back(), "EndProgram");
  host.width = 0;
  unload();  // the window's own close then runs nothing
  EXPECT_EQ(fakes::slurp(host.settingsFile),
            "[Korvane RP 3]\r\nScreenInfoSave=1\r\nResumePlay=1\r\n"
            "[ResumeInfo]\r\nFilePath=file:///clip.mp4\r\nPosition=61500\r\n"
            "[Screen]\r\nHeight=412\r\nWidth=480\r\nTop=32768\r\nLeft=-1500\r\n");
}

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

}  // namespace
}  // namespace korvane::player
