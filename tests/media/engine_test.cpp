// SPDX-License-Identifier: MIT
// The engine on real libmpv, headless (vo=null, ao=null), on the committed clips.
#include "player/media/MediaSet.h"
#include "tests/media/MediaTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <tuple>

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

// Without the real-time clock: a clip runs to its end as fast as it decodes.
class EngineUntimed : public Engine {
 protected:
  void SetUp() override { start(true); }
};

// ---- opening and what a clip reports -------------------------------------------------

TEST_F(Engine, NothingLoadedReportsTheNoPictureSize) {
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().ClipWidth(), rp().ClipHeight(), rp().Position(), rp().Length(),
                       rp().SourceUrl()),
            std::tuple(kStopped, 2, 2, 0, 0, std::string()));
}

// One engine opens the clips in turn: each goes Opening -> Playing with its picture size
// readable at the first StateChange(3), its length and labels (never an older clip's),
// and its position advancing.
TEST_F(Engine, EachClipOpensWithItsPictureLengthAndLabels) {
  struct Case {
    const char* name;
    std::pair<std::int32_t, std::int32_t> picture;
    std::int32_t length;
    const char *label, *sublabel;
  } cases[] = {
      {"h264.mp4", {320, 240}, 3000, "Test Pattern", "Korvane"},
      {"clip.rm", {176, 144}, 3030, "Real Clip", "Real Author"},  // the author is the sublabel
      {"tagged.mp3", {2, 2}, 3030, "Tagged Tone", "Tone Artist"},
      {"tone.wav", {2, 2}, 2000, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sink.states.clear();
    sink.pictureAtEvent.clear();
    ASSERT_TRUE(openAndWaitPlaying(c.name));
    EXPECT_EQ(sink.states.front(), kOpening);
    const auto first3 = std::find(sink.states.begin(), sink.states.end(), kPlaying) - sink.states.begin();
    EXPECT_EQ(sink.pictureAtEvent[first3], c.picture);
    EXPECT_EQ(std::pair(rp().ClipWidth(), rp().ClipHeight()), c.picture);
    EXPECT_NEAR(rp().Length(), c.length, 100);
    EXPECT_EQ(rp().ClipLabel() + "|" + rp().ClipSublabel(), std::string(c.label) + "|" + c.sublabel);
    EXPECT_EQ(rp().SourceUrl(), clipUrl(c.name));
    const auto before = rp().Position();
    ASSERT_TRUE(waitFor([&] { return rp().Position() >= before + 300; }));
  }
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
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().Position()), std::tuple(kStopped, 0));  // at once
  ASSERT_TRUE(waitFor([&] { return sink.states.back() == kStopped; }));
  settle(300);
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().Position()), std::tuple(kStopped, 0));  // and for good
  rp().Pause();  // nothing to pause
  EXPECT_EQ(rp().PlayState(), kStopped);
  rp().Play();
  ASSERT_TRUE(waitState(kPlaying));
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 0; }));
  EXPECT_LT(rp().Position(), 700);
}

TEST_F(EngineUntimed, TheEndOfAClipIsState0AndPlayStartsItAgain) {
  rp().SetSourceUrl(clipUrl("tone.wav"));
  ASSERT_TRUE(waitFor([&] { return sink.saw(kPlaying) && !sink.states.empty() && sink.states.back() == kStopped; }));
  EXPECT_EQ(rp().PlayState(), kStopped);
  ASSERT_TRUE(waitFor([&] { return rp().Position() > 1900; }));  // the end, not the start
  EXPECT_LE(rp().Position(), rp().Length() + 50);
  sink.states.clear();
  rp().Play();
  ASSERT_TRUE(waitFor([&] { return sink.saw(kPlaying); }));
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped; }));
}

// ---- seeking ------------------------------------------------------------------------

TEST_F(Engine, SeekRightAfterOpeningOrWhileOpeningTakesEffectOnceLoaded) {
  for (bool loadSent : {false, true}) {
    SCOPED_TRACE(loadSent ? "while opening" : "right after setting the source");
    sink.states.clear();
    rp().SetSourceUrl(clipUrl(loadSent ? "h264.mp4" : "tagged.mp3"));
    if (loadSent) {
      ASSERT_TRUE(waitFor([&] { return sink.saw(kOpening); }));  // the load has gone out
    }
    rp().Seek(2000);
    ASSERT_TRUE(waitState(kPlaying));
    ASSERT_TRUE(waitFor([&] { return rp().Position() > 0; }));
    EXPECT_GE(rp().Position(), 1900);
    rp().SetSourceUrl("file://");
  }
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
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().Position()), std::tuple(kStopped, 0));
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
  for (auto [set, kept] : {std::pair<std::int16_t, std::int16_t>{150, 100}, {-30, 0}, {40, 40}}) {
    rp().SetLevel(set);
    EXPECT_EQ(rp().Level(), kept) << set;
  }
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

TEST_F(EngineUntimed, LoopRepeatsTheClipUntilSwitchedOff) {
  rp().SetOptionL(true);
  EXPECT_TRUE(rp().OptionL());
  rp().SetSourceUrl(clipUrl("tone.wav"));
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Position() > 1000; }));
  int wraps = 0;
  std::int32_t last = rp().Position();
  ASSERT_TRUE(waitFor([&] {
    if (rp().Position() < last) ++wraps;
    last = rp().Position();
    return wraps >= 2;
  }));
  EXPECT_FALSE(sink.saw(kStopped));
  rp().SetOptionL(false);
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped; }));
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

TEST_F(EngineUntimed, RamListPlaysItsEntriesInTurnAndLoopsWhenAsked) {
  rp().SetSourceUrl(clipUrl("list.ram"));
  ASSERT_TRUE(waitFor([&] { return rp().ClipLabel() == "Tagged Tone"; }));  // went on by itself
  ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kStopped; }));       // and ended after the last
  EXPECT_EQ(rp().ClipLabel(), "Tagged Tone");

  rp().SetOptionL(true);
  rp().SetSourceUrl(clipUrl("list.ram"));
  ASSERT_TRUE(waitFor([&] { return rp().ClipLabel() == "Tagged Tone"; }));
  ASSERT_TRUE(waitFor([&] { return rp().ClipLabel().empty() && rp().PlayState() == kPlaying; }));  // back to the first
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
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().SourceUrl(), rp().Length(), rp().Position(), rp().ClipWidth(),
                       rp().ClipLabel()),
            std::tuple(kStopped, url, 0, 0, 2, std::string()));
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
  EXPECT_EQ(std::tuple(rp().PlayState(), rp().Length()), std::tuple(kStopped, 0));
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

TEST_F(OddNames, EveryNameOpensExactlyThatFileAbsoluteOrRelative) {
  fs::current_path(dir);
  std::vector<std::string> urls;
  for (const char* name : {"a b%20#'\"ü.wav", "--x.wav", "-", "x://y.wav"}) urls.push_back("file://" + dir.string() + "/" + name);
  for (const char* name : {"--x.wav", "-", "x://y.wav"}) urls.push_back(std::string("file://") + name);  // from here
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    rp().SetSourceUrl(url);
    ASSERT_TRUE(waitFor([&] { return rp().PlayState() == kPlaying && rp().Length() > 0; }))
        << "state " << rp().PlayState() << ", length " << rp().Length() << ", states seen " << sink.states.size();
    EXPECT_EQ(rp().SourceUrl(), url);
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
