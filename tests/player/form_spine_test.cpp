// SPDX-License-Identifier: MIT
// Start-up and shutdown of the entry-edition form, driven through fakes.
#include "tests/fakes/Files.h"
#include "tests/player/FormFixture.h"

#include <array>

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::player;
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
