// SPDX-License-Identifier: MIT
// Start-up and shutdown of the entry-edition form, driven through fakes.
#include "player/Form1.h"
#include "settings/ProfileFile.h"
#include "tests/fakes/FakeFormHost.h"
#include "tests/fakes/FakeMediaControl.h"

#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <array>

namespace fs = std::filesystem;
using korvane::fakes::slurp;
using namespace korvane;
using korvane::player::Form1;

namespace {

class FormSpine : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvane-form-XXXXXX";
    dir = ::mkdtemp(tmpl);
    platform.settingsFile = dir / "kvnset.ini";
    platform.log = &window.log;
    window.caption = window.appTitle = "Korvane RP 3 LX ZELTA";
  }
  void TearDown() override { fs::remove_all(dir); }

  void setFlags(std::initializer_list<std::pair<const char*, const char*>> flags) {
    for (auto& [key, value] : flags) settings::writeProfileString("Korvane RP 3", key, value, platform.settingsFile);
  }
  void write(const char* section, const char* key, const std::string& value) {
    settings::writeProfileString(section, key, value, platform.settingsFile);
  }
  size_t indexOf(const std::string& entry) const {
    auto it = std::find(window.log.begin(), window.log.end(), entry);
    return it == window.log.end() ? SIZE_MAX : size_t(it - window.log.begin());
  }
  std::array<double, 4> geometry() const { return {window.left, window.top, window.width, window.height}; }
  void unload() {
    std::int16_t cancel = 0;
    form.Form_Unload(cancel);
  }

  fs::path dir;
  fakes::FakeMediaControl media;
  fakes::FakeView panel{"RealAudio2", 0, 5040, 7215, 375};
  fakes::FakeWindowHost window;
  fakes::FakePlatform platform;
  Form1 form{media, &panel, window, platform};
};

}  // namespace

TEST_F(FormSpine, NoSettingsFileMeansAllFlagsOffAndTheDefaultSize) {
  platform.commandLine = "\"/home/u/My Clip.mkv\"";
  form.Form_Load();
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file:///home/u/My Clip.mkv)"}));
  EXPECT_EQ(geometry(), (std::array<double, 4>{3990, 3105, 480 * 15, 411 * 15}));  // position kept
  EXPECT_FALSE(window.topmost);
  EXPECT_EQ(window.caption, "Korvane RP 3 LX ZELTA");
  unload();
  EXPECT_FALSE(fs::exists(platform.settingsFile));  // nothing to write with both switches off
}

TEST_F(FormSpine, CommandLineIsUnquotedOnceAndOtherwiseUntouched) {
  struct Case {
    const char* commandLine;
    const char* source;
  } cases[] = {{"", "file://"},
               {"\"\"", "file://"},
               {"\"", "file://\""},
               {"/a b/c.mp4", "file:///a b/c.mp4"},
               {"\"/x/\"quoted\".mp4\"", "file:///x/\"quoted\".mp4"},
               {"two words", "file://two words"},
               {"\"/x.mp4", "file://\"/x.mp4"}};
  for (const Case& c : cases) EXPECT_EQ("file://" + player::PathUnquoteSpaces(c.commandLine), c.source);
}

TEST_F(FormSpine, OnlyFlagsOfExactlyOneAreOn) {
  setFlags({{"AlwaysFront", "2"}, {"OriginalFit", "-1"}, {"NotWindowsXP", "yes"}, {"ScreenInfoSave", "01"},
            {"NotPlayInfoDisplay", "1 "}, {"ResumePlay", "1x"}});
  form.Form_Load();
  EXPECT_FALSE(window.topmost);
  EXPECT_EQ(form.sw.OriginalFit, 0);
  EXPECT_EQ(form.sw.NotWindowsXP, 0);
  EXPECT_EQ(form.sw.ScreenInfoSave, 1);  // "01" reads as 1
  EXPECT_EQ(form.sw.NotPlayInfoDisplay, 1);
  EXPECT_EQ(form.sw.ResumePlay, 1);  // "1x" reads as 1, as a Windows reader would
}

TEST_F(FormSpine, TopmostComesBeforeTheSavedGeometry) {
  setFlags({{"AlwaysFront", "1"}, {"ScreenInfoSave", "1"}});
  write("Screen", "Height", "300");
  write("Screen", "Width", "400");
  write("Screen", "Top", "150");
  write("Screen", "Left", "-1500");
  form.Form_Load();
  size_t topmost = indexOf("SetTopmost(266,207,487,388)");  // design geometry in pixels
  ASSERT_NE(topmost, SIZE_MAX) << ::testing::PrintToString(window.log);
  EXPECT_LT(topmost, indexOf("Width=6000"));
  EXPECT_TRUE(window.topmost);  // and the window is restored off screen as saved
  EXPECT_EQ(geometry(), (std::array<double, 4>{-1500, 150, 6000, 4500}));
}

TEST_F(FormSpine, HandOverReadsGeometryBeforeAndResumeAfterTheEarlierInstanceCloses) {
  setFlags({{"ScreenInfoSave", "1"}, {"NotMultiStart", "1"}, {"ResumePlay", "1"}});
  write("Screen", "Width", "400");
  write("ResumeInfo", "FilePath", "file:///old.mp4");
  platform.anotherInstance = true;
  platform.onClose = [&] {  // the earlier instance writes its settings as it closes
    write("Screen", "Width", "999");
    write("ResumeInfo", "FilePath", "file:///closed one.mp4");
    write("ResumeInfo", "Position", "61500");
  };
  form.Form_Load();
  EXPECT_EQ(window.width, 400 * 15);
  EXPECT_EQ(window.caption, "Korvane RP 3 LX");
  EXPECT_EQ(window.appTitle, "Korvane RP 3-2 LX");
  EXPECT_LT(indexOf("AppTitle=Korvane RP 3-2 LX"), indexOf("CloseWindowTitled(Korvane RP 3 LX)"));
  EXPECT_LT(indexOf("Caption=Korvane RP 3-2 LX"), indexOf("CloseWindowTitled(Korvane RP 3 LX)"));
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file://)",
                                                   "SetSourceUrl(file:///closed one.mp4)", "Seek(61500)"}));
}

TEST_F(FormSpine, HandOverWithoutAnEarlierInstanceChangesNoTitle) {
  setFlags({{"NotMultiStart", "1"}});
  form.Form_Load();
  EXPECT_EQ(window.caption, "Korvane RP 3 LX ZELTA");
  EXPECT_EQ(indexOf("CloseWindowTitled(Korvane RP 3 LX)"), SIZE_MAX);
  platform.anotherInstance = true;  // running, but no window bears the title
  platform.windowFound = false;
  Form1 second{media, &panel, window, platform};
  second.Form_Load();
  EXPECT_EQ(window.caption, "Korvane RP 3 LX");
  EXPECT_EQ(window.appTitle, "Korvane RP 3-2 LX");
}

TEST_F(FormSpine, ResumeOnlyWithoutAFileOnTheCommandLine) {
  struct Case {
    const char *commandLine, *savedPath, *savedPosition;
    std::vector<std::string> after;  // the calls after SetStartupFlag(1) and the first source
  } cases[] = {
      {"/given.mp4", "file:///saved.mp4", "61500", {}},
      {"", "file:///saved.mp4", "61500", {"SetSourceUrl(file:///saved.mp4)", "Seek(61500)"}},
      {"", nullptr, nullptr, {"SetSourceUrl()", "Seek(0)"}},  // nothing saved
      {"", "file://", "0", {"SetSourceUrl(file://)", "Seek(0)"}},  // a run that opened nothing
  };
  for (const Case& c : cases) {
    fs::remove(platform.settingsFile);
    setFlags({{"ResumePlay", "1"}});
    if (c.savedPath) write("ResumeInfo", "FilePath", c.savedPath);
    if (c.savedPosition) write("ResumeInfo", "Position", c.savedPosition);
    platform.commandLine = c.commandLine;
    fakes::FakeMediaControl m;
    Form1 f{m, &panel, window, platform};
    f.Form_Load();
    std::vector<std::string> expected{"SetStartupFlag(1)", "SetSourceUrl(file://" + player::PathUnquoteSpaces(c.commandLine) + ")"};
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(m.calls, expected) << c.commandLine << c.savedPath;
  }
}

TEST_F(FormSpine, ShutdownWritesPixelsRoundedHalfEvenAndTwipsAsTheyAre) {
  setFlags({{"ScreenInfoSave", "1"}, {"ResumePlay", "1"}});
  platform.commandLine = "/clip.mp4";
  form.Form_Load();
  window.width = 7207.5;   // 480.5 px -> 480
  window.height = 6187.5;  // 412.5 px -> 412
  window.top = 2.5;        // -> 2
  window.left = -1500;
  media.position = 61500;
  unload();
  unload();  // a second close runs nothing
  EXPECT_EQ(slurp(platform.settingsFile),
            "[Korvane RP 3]\r\nScreenInfoSave=1\r\nResumePlay=1\r\n"
            "[Screen]\r\nHeight=412\r\nWidth=480\r\nTop=2\r\nLeft=-1500\r\n"
            "[ResumeInfo]\r\nFilePath=file:///clip.mp4\r\nPosition=61500\r\n");
}

TEST_F(FormSpine, WindowsBeyond16BitsKeepTheirGeometryAndResumePoint) {
  setFlags({{"ScreenInfoSave", "1"}, {"ResumePlay", "1"}});
  platform.commandLine = "/clip.mp4";
  form.Form_Load();
  window.state = player::kMaximized;  // a maximised window is saved as it is
  window.left = 40000;
  window.top = 35000;
  window.width = 3840 * 15;
  unload();
  for (auto [key, value] : {std::pair{"Left", 40000}, {"Top", 35000}, {"Width", 3840}})
    EXPECT_EQ(settings::profileInt("Screen", key, 0, platform.settingsFile), value) << key;
  EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "?", platform.settingsFile), "file:///clip.mp4");
}

TEST_F(FormSpine, AFailingEngineStopsShutdownQuietlyAfterTheGeometry) {
  setFlags({{"ScreenInfoSave", "1"}, {"ResumePlay", "1"}});
  form.Form_Load();
  media.failing = {"SourceUrl"};
  EXPECT_NO_THROW(unload());
  EXPECT_EQ(settings::profileInt("Screen", "Width", 0, platform.settingsFile), 480);
  EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "none", platform.settingsFile), "none");
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbourAndOutOfRangeThrows) {
  for (auto [in, out] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {29.5, 30}})
    EXPECT_EQ(player::RoundHalfEven32(in), out) << in;
  for (double bad : {3e9, double(NAN)}) EXPECT_THROW(player::RoundHalfEven32(bad), std::range_error) << bad;
}
