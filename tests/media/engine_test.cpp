// SPDX-License-Identifier: MIT
// The engine on real libmpv, headless (vo=null, ao=null), on the committed clips.
#include "player/media/MediaSet.h"
#include "tests/media/MediaTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace korvane::media {
namespace {

using testing::clip;
using testing::clipUrl;
using testing::settle;
using testing::waitFor;
namespace fs = std::filesystem;

class Engine : public ::testing::Test {
 protected:
  void start(bool untimed = false) {
    set = std::make_unique<MediaSet>(EngineOptions{true, true, untimed});
    rp().SetEventSink(&sink);
    sink.control = &rp();
  }
  void SetUp() override { start(); }
  MediaControl& rp() { return set->RealAudio1(); }
  bool waitState(std::int32_t state, int ms = 10000) {
    return waitFor([&] { return rp().PlayState() == state && sink.saw(state); }, ms);
  }
  bool openAndWaitPlaying(const std::string& name) {
    rp().SetSourceUrl(clipUrl(name));
    return waitState(kPlaying);
  }

  testing::RecordingSink sink;
  std::unique_ptr<MediaSet> set;
};

// ---- opening and what a clip reports -------------------------------------------------

TEST_F(Engine, NothingLoadedReportsTheNoPictureSize) {
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().ClipWidth(), 2);
  EXPECT_EQ(rp().ClipHeight(), 2);
  EXPECT_EQ(rp().Position(), 0);
  EXPECT_EQ(rp().Length(), 0);
  EXPECT_EQ(rp().SourceUrl(), "");
}

TEST_F(Engine, Mp4OpensThroughOpeningToPlayingWithItsPictureKnownAtState3) {
  ASSERT_TRUE(openAndWaitPlaying("h264.mp4"));
  EXPECT_EQ(sink.states.front(), kOpening);
  // At the first StateChange(3) the layout can already read the natural size.
  const auto first3 = std::find(sink.states.begin(), sink.states.end(), kPlaying) - sink.states.begin();
  EXPECT_EQ(sink.pictureAtEvent[first3], std::make_pair(320, 240));
  EXPECT_NEAR(rp().Length(), 3000, 100);
  EXPECT_EQ(rp().ClipLabel(), "Test Pattern");
  EXPECT_EQ(rp().ClipSublabel(), "Korvane");
  EXPECT_EQ(rp().SourceUrl(), clipUrl("h264.mp4"));
  const auto before = rp().Position();
  ASSERT_TRUE(waitFor([&] { return rp().Position() >= before + 400; }));
}

TEST_F(Engine, RealMediaPlaysWithPictureAndAuthorAsSublabel) {
  ASSERT_TRUE(openAndWaitPlaying("clip.rm"));
  EXPECT_EQ(rp().ClipWidth(), 176);
  EXPECT_EQ(rp().ClipHeight(), 144);
  EXPECT_NEAR(rp().Length(), 3030, 100);
  EXPECT_EQ(rp().ClipLabel(), "Real Clip");
  EXPECT_EQ(rp().ClipSublabel(), "Real Author");
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 300; }));
}

TEST_F(Engine, AudioOnlyClipsPlayWithTheTwoByTwoPicture) {
  ASSERT_TRUE(openAndWaitPlaying("tagged.mp3"));
  for (const auto& size : sink.pictureAtEvent) EXPECT_EQ(size, std::make_pair(2, 2));
  EXPECT_EQ(rp().ClipLabel(), "Tagged Tone");
  EXPECT_EQ(rp().ClipSublabel(), "Tone Artist");
  EXPECT_NEAR(rp().Length(), 3030, 100);

  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
  EXPECT_EQ(rp().ClipWidth(), 2);
  EXPECT_EQ(rp().ClipHeight(), 2);
  EXPECT_NEAR(rp().Length(), 2000, 50);
  EXPECT_EQ(rp().ClipLabel(), "");  // no tags: empty, never an old clip's
  EXPECT_EQ(rp().ClipSublabel(), "");
}

TEST_F(Engine, StateChangeIsRaisedOnlyOnChangesAndNeverFromInsideACall) {
  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
  for (std::size_t i = 1; i < sink.states.size(); ++i) EXPECT_NE(sink.states[i], sink.states[i - 1]);
  const auto count = sink.states.size();
  rp().Pause();
  EXPECT_EQ(rp().PlayState(), kPaused);  // readable at once
  EXPECT_EQ(sink.states.size(), count);  // raised from the event loop
  ASSERT_TRUE(waitFor([&] { return sink.states.size() > count; }));
  EXPECT_EQ(sink.states.back(), kPaused);
}

// ---- play, pause, stop, end ----------------------------------------------------------

TEST_F(Engine, PauseHoldsThePositionAndPlayResumes) {
  ASSERT_TRUE(openAndWaitPlaying("tagged.mp3"));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 200; }));
  rp().Pause();
  ASSERT_TRUE(waitState(kPaused));
  settle(200);
  const auto held = rp().Position();
  settle(400);
  EXPECT_NEAR(rp().Position(), held, 40);  // libmpv may refine the paused position a little
  rp().Play();
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Position() > held + 200; }));
}

TEST_F(Engine, StopGoesBackToTheStartAndPlayStartsAgainFromThere) {
  ASSERT_TRUE(openAndWaitPlaying("tagged.mp3"));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 800; }));
  rp().PeriodCommand();
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().Position(), 0);
  ASSERT_TRUE(waitFor([&] { return sink.states.back() == kStopped; }));
  settle(300);
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().Position(), 0);
  rp().Pause();  // nothing to pause
  EXPECT_EQ(rp().PlayState(), kStopped);
  rp().Play();
  ASSERT_TRUE(waitState(kPlaying));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 0; }));
  EXPECT_LT(rp().Position(), 700);
}

TEST(EngineUntimed, TheEndOfAClipIsState0AndPlayStartsItAgain) {
  testing::RecordingSink sink;
  MediaSet set(EngineOptions{true, true, true});
  auto& rp = set.RealAudio1();
  rp.SetEventSink(&sink);
  rp.SetSourceUrl(clipUrl("tone.wav"));
  ASSERT_TRUE(waitFor([&] { return sink.saw(kPlaying) && !sink.states.empty() && sink.states.back() == kStopped; }));
  EXPECT_EQ(rp.PlayState(), kStopped);
  ASSERT_TRUE(waitFor([&] { return rp.Position() > 1900; }));  // the end, not the start
  EXPECT_LE(rp.Position(), rp.Length() + 50);
  sink.states.clear();
  rp.Play();
  ASSERT_TRUE(waitFor([&] { return sink.saw(kPlaying); }));
  ASSERT_TRUE(waitFor([&] { return rp.PlayState() == kStopped; }));
}

// ---- seeking ------------------------------------------------------------------------

TEST_F(Engine, SeekRightAfterOpeningTakesEffectOnceLoaded) {
  rp().SetSourceUrl(clipUrl("tagged.mp3"));
  rp().Seek(2000);
  ASSERT_TRUE(waitState(kPlaying));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 0; }));
  EXPECT_GE(rp().Position(), 1950);
}

TEST_F(Engine, SeekWhileStillOpeningIsKeptForTheLoadedClip) {
  rp().SetSourceUrl(clipUrl("h264.mp4"));
  ASSERT_TRUE(waitFor([&] { return sink.saw(kOpening); }));  // the load has gone out
  rp().Seek(1500);
  ASSERT_TRUE(waitState(kPlaying));
  ASSERT_TRUE(waitFor([&] { return rp().Position() >= 1400; }));
}

TEST_F(Engine, NegativeSeekGoesToTheStartAndBeyondTheEndToTheEnd) {
  ASSERT_TRUE(openAndWaitPlaying("tagged.mp3"));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 600; }));
  rp().Seek(-5000);
  EXPECT_LT(rp().Position(), 100);
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Position() < 400; }));
  rp().Seek(99'000'000);
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped; }));
  EXPECT_NEAR(rp().Position(), rp().Length(), 150);
}

TEST_F(Engine, PauseOrStopWhileOpeningHoldsTheClipOnceLoaded) {
  rp().SetSourceUrl(clipUrl("tagged.mp3"));
  rp().Pause();
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPaused && rp().Length() > 0; }));
  settle(300);
  EXPECT_EQ(rp().PlayState(), kPaused);
  EXPECT_LT(rp().Position(), 100);

  rp().SetSourceUrl(clipUrl("tone.wav"));
  ASSERT_TRUE(waitFor([&] { return sink.saw(kOpening) && rp().PlayState() == kOpening; }));
  rp().PeriodCommand();
  ASSERT_TRUE(waitFor([&] { return rp().Length() > 0; }));
  settle(300);
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().Position(), 0);
  rp().Play();
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Position() > 100; }));
}

TEST_F(Engine, SeekWithNothingLoadedIsIgnored) {
  rp().Seek(1000);
  rp().Play();
  rp().Pause();
  rp().PeriodCommand();
  rp().NextEntry();
  rp().PrevEntry();
  settle(200);
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_TRUE(sink.states.empty());
}

// ---- level, mute, loop ----------------------------------------------------------------

TEST_F(Engine, LevelIsClampedAndSurvivesTheEnginesEcho) {
  rp().SetLevel(150);
  EXPECT_EQ(rp().Level(), 100);
  rp().SetLevel(-30);
  EXPECT_EQ(rp().Level(), 0);
  rp().SetLevel(40);
  EXPECT_EQ(rp().Level(), 40);
  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
  settle(200);
  EXPECT_EQ(rp().Level(), 40);
  rp().SetLevel(static_cast<std::int16_t>(rp().Level() - 50));  // the ] key's way
  EXPECT_EQ(rp().Level(), 0);
}

TEST_F(Engine, MuteIsKeptAcrossClips) {
  rp().SetOptionM(true);
  EXPECT_TRUE(rp().OptionM());
  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
  ASSERT_TRUE(openAndWaitPlaying("tagged.mp3"));
  EXPECT_TRUE(rp().OptionM());
  rp().SetOptionM(false);
  settle(200);
  EXPECT_FALSE(rp().OptionM());
}

TEST(EngineUntimed, LoopRepeatsTheClipUntilSwitchedOff) {
  testing::RecordingSink sink;
  MediaSet set(EngineOptions{true, true, true});
  auto& rp = set.RealAudio1();
  rp.SetEventSink(&sink);
  rp.SetOptionL(true);
  EXPECT_TRUE(rp.OptionL());
  rp.SetSourceUrl(clipUrl("tone.wav"));
  ASSERT_TRUE(waitFor([&] { return rp.PlayState() == kPlaying && rp.Position() > 1000; }));
  int wraps = 0;
  std::int32_t last = rp.Position();
  ASSERT_TRUE(waitFor([&] {
    if (rp.Position() < last) ++wraps;
    last = rp.Position();
    return wraps >= 2;
  }));
  EXPECT_FALSE(sink.saw(kStopped));
  rp.SetOptionL(false);
  ASSERT_TRUE(waitFor([&] { return rp.PlayState() == kStopped; }));
}

// ---- lists and folders ---------------------------------------------------------------

TEST_F(Engine, M3uEntriesAreSteppedAndTheSourceStaysTheList) {
  rp().SetSourceUrl(clipUrl("list.m3u"));
  ASSERT_TRUE(waitState(kPlaying));
  EXPECT_NEAR(rp().Length(), 2000, 50);  // tone.wav
  rp().NextEntry();
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().ClipLabel() == "Tagged Tone"; }));
  rp().NextEntry();  // past the end: nothing happens
  settle(300);
  EXPECT_EQ(rp().ClipLabel(), "Tagged Tone");
  EXPECT_EQ(rp().PlayState(), kPlaying);
  rp().PrevEntry();
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Length() < 2100 && rp().Length() > 0; }));
  EXPECT_EQ(rp().ClipLabel(), "");
  EXPECT_EQ(rp().SourceUrl(), clipUrl("list.m3u"));
}

TEST(EngineUntimed, RamListPlaysItsEntriesInTurnAndLoopsWhenAsked) {
  testing::RecordingSink sink;
  MediaSet set(EngineOptions{true, true, true});
  auto& rp = set.RealAudio1();
  rp.SetEventSink(&sink);
  rp.SetSourceUrl(clipUrl("list.ram"));
  ASSERT_TRUE(waitFor([&] { return rp.ClipLabel() == "Tagged Tone"; }));  // went on by itself
  ASSERT_TRUE(waitFor([&] { return rp.PlayState() == kStopped; }));       // and ended after the last
  EXPECT_EQ(rp.ClipLabel(), "Tagged Tone");

  rp.SetOptionL(true);
  rp.SetSourceUrl(clipUrl("list.ram"));
  ASSERT_TRUE(waitFor([&] { return rp.ClipLabel() == "Tagged Tone"; }));
  ASSERT_TRUE(waitFor([&] { return rp.ClipLabel().empty() && rp.PlayState() == kPlaying; }));  // back to the first
}

TEST_F(Engine, FolderClipsAreSteppedInNaturalOrderAndTheSourceFollows) {
  const std::string folder = clip("folder");
  rp().SetSourceUrl("file://" + folder + "/clip 1.wav");
  ASSERT_TRUE(waitState(kPlaying));
  rp().PrevEntry();  // before the first: nothing
  rp().NextEntry();
  EXPECT_EQ(rp().SourceUrl(), "file://" + folder + "/clip 2.mp3");
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Length() > 0; }));
  rp().NextEntry();
  EXPECT_EQ(rp().SourceUrl(), "file://" + folder + "/clip 10.mp4");
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().ClipWidth() == 64; }));
  EXPECT_EQ(rp().ClipHeight(), 48);
  rp().NextEntry();  // notes.txt is not a clip: this is the end
  EXPECT_EQ(rp().SourceUrl(), "file://" + folder + "/clip 10.mp4");
  rp().PrevEntry();
  EXPECT_EQ(rp().SourceUrl(), "file://" + folder + "/clip 2.mp3");
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().ClipWidth() == 2; }));
}

// ---- sources that cannot play -----------------------------------------------------------

class BadSource : public Engine, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadSource, EndsInState0WithNothingReported) {
  ASSERT_TRUE(openAndWaitPlaying("h264.mp4"));  // something was playing before
  const std::string url = std::string("file://") + KORVANE_TEST_DATA_DIR + "/media/" + GetParam();
  rp().SetSourceUrl(url);
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped && sink.states.back() == kStopped; }));
  settle(300);
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().SourceUrl(), url);
  EXPECT_EQ(rp().Length(), 0);
  EXPECT_EQ(rp().Position(), 0);
  EXPECT_EQ(rp().ClipWidth(), 2);
  EXPECT_EQ(rp().ClipLabel(), "");
  rp().Play();  // tries again, fails again, quietly
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped && sink.states.back() == kStopped; }));
  // The engine is still good for a real clip.
  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
}

INSTANTIATE_TEST_SUITE_P(Files, BadSource,
                         ::testing::Values("missing.mp4", "folder", "bad/empty.mp4", "bad/corrupt.mp4",
                                           "bad/text.txt", "bad/missing.ram", "bad/empty.mp4/x"));

TEST_F(Engine, FileSchemeAloneUnloads) {
  ASSERT_TRUE(openAndWaitPlaying("tone.wav"));
  rp().SetSourceUrl("file://");
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().SourceUrl(), "file://");
  ASSERT_TRUE(waitFor([&] { return sink.states.back() == kStopped; }));
  settle(300);
  EXPECT_EQ(rp().PlayState(), kStopped);
  EXPECT_EQ(rp().Length(), 0);
  rp().Play();  // nothing to play
  settle(200);
  EXPECT_EQ(rp().PlayState(), kStopped);
}

// ---- names that libmpv could misread --------------------------------------------------

class OddNames : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    dir = fs::temp_directory_path() / ("korvane-names-" + std::to_string(::getpid()));
    fs::create_directories(dir / "x:");
    for (const char* name : {"a b%20#'\"ü.wav", "--x.wav", "-", "x:/y.wav", "list.m3u.wav"})
      fs::copy_file(clip("tone.wav"), dir / name);
    previous = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(previous);
    fs::remove_all(dir);
  }
  fs::path dir, previous;
};

TEST_F(OddNames, EveryNameOpensExactlyThatFile) {
  for (const char* name : {"a b%20#'\"ü.wav", "--x.wav", "-", "x://y.wav"}) {
    SCOPED_TRACE(name);
    const std::string url = "file://" + dir.string() + "/" + name;
    rp().SetSourceUrl(url);
    ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Length() > 0; }));
    EXPECT_EQ(rp().SourceUrl(), url);
    rp().SetSourceUrl("file://");
  }
}

TEST_F(OddNames, RelativeNamesOpenFromTheCurrentFolder) {
  fs::current_path(dir);
  for (const char* name : {"--x.wav", "-", "x://y.wav"}) {
    SCOPED_TRACE(name);
    rp().SetSourceUrl(std::string("file://") + name);
    ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Length() > 0; }));
    rp().SetSourceUrl("file://");
  }
}

// ---- lifetime ------------------------------------------------------------------------

TEST(EngineLifetime, DestroyedWhilePlayingOrOpeningWithoutTrouble) {
  for (int i = 0; i < 3; ++i) {
    MediaSet set;
    set.RealAudio1().SetSourceUrl(clipUrl(i == 0 ? "h264.mp4" : "clip.rm"));
    if (i > 0) waitFor([&] { return set.RealAudio1().PlayState() == kPlaying; });
  }
  SUCCEED();
}

}  // namespace
}  // namespace korvane::media
