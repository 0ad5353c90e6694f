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
#include <fstream>
#include <sstream>

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
  EXPECT_EQ(window.width, 480 * 15);
  EXPECT_EQ(window.height, 411 * 15);
  EXPECT_EQ(window.left, 3990);  // the position is not changed
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
  EXPECT_TRUE(window.topmost);
  EXPECT_EQ(window.width, 6000);
  EXPECT_EQ(window.height, 4500);
  EXPECT_EQ(window.top, 150);
  EXPECT_EQ(window.left, -1500);  // restored off screen as saved
}

TEST_F(FormSpine, MissingScreenSectionGivesTheDefaultsAtTheTopLeft) {
  setFlags({{"ScreenInfoSave", "1"}});
  form.Form_Load();
  EXPECT_EQ(window.width, 480 * 15);
  EXPECT_EQ(window.height, 411 * 15);
  EXPECT_EQ(window.top, 0);
  EXPECT_EQ(window.left, 0);
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
  setFlags({{"ResumePlay", "1"}});
  write("ResumeInfo", "FilePath", "file:///saved.mp4");
  write("ResumeInfo", "Position", "61500");
  platform.commandLine = "/given.mp4";
  form.Form_Load();
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file:///given.mp4)"}));
}

TEST_F(FormSpine, ResumeWithoutSavedPointSetsTheEmptySourceAndSeeksToZero) {
  setFlags({{"ResumePlay", "1"}});
  form.Form_Load();
  EXPECT_EQ(media.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file://)",
                                                   "SetSourceUrl()", "Seek(0)"}));
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
  EXPECT_EQ(settings::profileInt("Screen", "Left", 0, platform.settingsFile), 40000);
  EXPECT_EQ(settings::profileInt("Screen", "Top", 0, platform.settingsFile), 35000);
  EXPECT_EQ(settings::profileInt("Screen", "Width", 0, platform.settingsFile), 3840);
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

TEST_F(FormSpine, ARunWithNothingOpenedSavesTheEmptySourceAndResumesIt) {
  setFlags({{"ResumePlay", "1"}});
  write("ResumeInfo", "FilePath", "file://");
  form.Form_Load();
  unload();
  EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "?", platform.settingsFile), "file://");
  EXPECT_EQ(settings::profileInt("ResumeInfo", "Position", 7, platform.settingsFile), 0);
  fakes::FakeMediaControl next;
  Form1 again{next, &panel, window, platform};
  again.Form_Load();
  EXPECT_EQ(next.calls, (std::vector<std::string>{"SetStartupFlag(1)", "SetSourceUrl(file://)",
                                                  "SetSourceUrl(file://)", "Seek(0)"}));
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(player::RoundHalfEven32(2.5), 2);
  EXPECT_EQ(player::RoundHalfEven32(3.5), 4);
  EXPECT_EQ(player::RoundHalfEven32(-2.5), -2);
  EXPECT_EQ(player::RoundHalfEven32(29.5), 30);
  EXPECT_THROW(player::RoundHalfEven32(3e9), std::range_error);
  EXPECT_THROW(player::RoundHalfEven32(NAN), std::range_error);
}
