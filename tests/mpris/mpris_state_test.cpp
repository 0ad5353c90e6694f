// SPDX-License-Identifier: MIT
// The desktop media controls' logic against a scripted media control: which operations
// each command makes, what the properties say, and when changes and seeks are reported.
#include "player/Mpris.h"
#include "tests/fakes/FakeMediaControl.h"

#include <gtest/gtest.h>

#include <cmath>

using korvane::fakes::FakeMediaControl;
using korvane::player::MprisState;
using Calls = std::vector<std::string>;

namespace {

class Mpris : public ::testing::Test {
 protected:
  FakeMediaControl media;
  MprisState state{media};

  void load(const char* url, std::int32_t lengthMs = 3000, std::int32_t playState = 3) {
    media.source = url;
    media.length = lengthMs;
    media.playState = playState;
  }
  QString trackPath() { return state.Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(); }
};

TEST_F(Mpris, PlayPauseFollowsTheSpaceKeyRule) {
  for (std::int32_t s : {0, 4}) {
    media.calls.clear();
    media.playState = s;
    state.PlayPause();
    EXPECT_EQ(media.calls, Calls{"Play"}) << s;
  }
  for (std::int32_t s : {1, 2, 3}) {
    media.calls.clear();
    media.playState = s;
    state.PlayPause();
    EXPECT_EQ(media.calls, Calls{"Pause"}) << s;
  }
}

TEST_F(Mpris, FailingOperationsEndCommandsQuietly) {
  media.failing = {"Play", "PlayState", "PeriodCommand", "NextEntry", "SourceUrl"};
  EXPECT_NO_THROW(state.Play());
  EXPECT_NO_THROW(state.PlayPause());
  EXPECT_NO_THROW(state.Stop());
  EXPECT_NO_THROW(state.Next());
  EXPECT_EQ(state.PlaybackStatus(), "Stopped");
  EXPECT_FALSE(state.CanPlay());
}

TEST_F(Mpris, SeekIsRelativeInMicrosecondsClampedAtTheStartAndPastTheEndMovesOn) {
  load("file:///m/a.mp3", 3000);
  media.position = 1000;
  EXPECT_TRUE(state.Seek(1'500'000));
  EXPECT_TRUE(state.Seek(-4'000'000));
  EXPECT_FALSE(state.Seek(2'500'000));  // 3500 > 3000
  EXPECT_EQ(media.calls, (Calls{"Seek(2500)", "Seek(0)", "NextEntry"}));

  media.calls.clear();
  media.length = 0;  // length unknown: not seekable
  EXPECT_FALSE(state.Seek(1'000'000));
  EXPECT_FALSE(state.CanSeek());
  EXPECT_TRUE(media.calls.empty());
}

TEST_F(Mpris, SetPositionIgnoresStaleTracksAndOutOfRangePositions) {
  load("file:///m/a.mp3", 3000);
  const QDBusObjectPath track(trackPath());
  EXPECT_FALSE(state.SetPosition(QDBusObjectPath("/org/korvane/rp3/track/999"), 1'000'000));
  EXPECT_FALSE(state.SetPosition(track, -1));
  EXPECT_FALSE(state.SetPosition(track, 3'000'001));
  EXPECT_TRUE(media.calls.empty());
  EXPECT_TRUE(state.SetPosition(track, 2'999'999));
  EXPECT_EQ(media.calls, Calls{"Seek(2999)"});
}

TEST_F(Mpris, OpenUriSetsTheSourceToTheDecodedPathAsADropDoes) {
  struct Case {
    const char* uri;
    const char* source;  // nullptr: refused
  } cases[] = {
      {"file:///tmp/My%20Clip.mkv", "file:///tmp/My Clip.mkv"},
      {"file://localhost/tmp/a.mp3", "file:///tmp/a.mp3"},
      {"FILE:///tmp/%E3%81%82.mp3", "file:///tmp/\xE3\x81\x82.mp3"},
      {"file:///tmp/a%23b%3F.mp3", "file:///tmp/a#b?.mp3"},
      {"file:///tmp/raw%FF.wav", "file:///tmp/raw\xFF.wav"},  // not UTF-8: bytes kept
      {"file:///tmp/a%25b.mp3", "file:///tmp/a%b.mp3"},
      {"http://example.org/a.mp3", nullptr},
      {"file://otherhost/tmp/a.mp3", nullptr},
      {"file:///tmp/a%00b.mp3", nullptr},
      {"file:relative.mp3", nullptr},
      {"file://", nullptr},
      {"file:///tmp/a.mp3#t=10", nullptr},
      {"/tmp/a.mp3", nullptr},
  };
  for (const Case& c : cases) {
    media.calls.clear();
    EXPECT_EQ(state.OpenUri(c.uri), c.source != nullptr) << c.uri;
    if (c.source)
      EXPECT_EQ(media.calls, Calls{"SetSourceUrl(" + std::string(c.source) + ")"}) << c.uri;
    else
      EXPECT_TRUE(media.calls.empty()) << c.uri;
  }
}

TEST_F(Mpris, OpeningAndBufferingCountAsPlaying) {
  const char* expected[] = {"Stopped", "Playing", "Playing", "Playing", "Paused"};
  for (std::int32_t s = 0; s <= 4; ++s) {
    media.playState = s;
    EXPECT_EQ(state.PlaybackStatus(), expected[s]) << s;
  }
}

TEST_F(Mpris, SettersUseTheKeysOperationsWithinTheirRanges) {
  state.SetVolume(0.424);
  state.SetVolume(1.5);
  state.SetVolume(-0.2);
  state.SetVolume(std::nan(""));
  state.SetLoopStatus("Track");
  state.SetLoopStatus("Playlist");
  state.SetLoopStatus("None");
  state.SetLoopStatus("Sometimes");
  state.SetRate(2.0);
  state.SetRate(0.0);
  // Loop is a mode here, not key L's toggle-and-play.
  EXPECT_EQ(media.calls, (Calls{"SetLevel(42)", "SetLevel(100)", "SetLevel(0)", "SetOptionL(1)",
                                "SetOptionL(1)", "SetOptionL(0)", "Pause"}));
}

TEST_F(Mpris, MetadataDescribesTheClip) {
  load("file:///music/My Song #1.mp3", 3030);
  media.label = "Tagged Tone";
  media.sublabel = "Tone Artist";
  QVariantMap m = state.Metadata();
  EXPECT_EQ(m.value("xesam:title").toString(), "Tagged Tone");
  EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{"Tone Artist"});
  EXPECT_EQ(m.value("mpris:length").toLongLong(), 3'030'000);
  EXPECT_EQ(m.value("mpris:length").metaType(), QMetaType::fromType<qlonglong>());
  EXPECT_EQ(m.value("xesam:url").toString(), "file:///music/My%20Song%20%231.mp3");
  EXPECT_TRUE(trackPath().startsWith("/org/korvane/rp3/track/"));

  // Untagged, length unknown: the file name stands for the title, no artist or length.
  load("file:///music/plain.wav", 0);
  media.label = media.sublabel = "";
  m = state.Metadata();
  EXPECT_EQ(m.value("xesam:title").toString(), "plain.wav");
  EXPECT_FALSE(m.contains("xesam:artist"));
  EXPECT_FALSE(m.contains("mpris:length"));
}

TEST_F(Mpris, NothingLoadedMeansNoTrackAndNoControls) {
  for (const char* source : {"", "file://"}) {
    media.source = source;
    media.length = 3000;
    const QVariantMap m = state.Metadata();
    EXPECT_EQ(m.keys(), QStringList{"mpris:trackid"});
    EXPECT_EQ(trackPath(), "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    EXPECT_FALSE(state.CanPlay() || state.CanPause() || state.CanSeek() || state.CanGoNext() ||
                 state.CanGoPrevious());
    EXPECT_EQ(state.Position(), 0);
  }
}

TEST_F(Mpris, TheTrackIdChangesWithEachClipAndOnlyThen) {
  load("file:///m/a.mp3");
  state.StateChange(1);
  state.StateChange(3);
  const QString first = trackPath();
  state.StateChange(2);  // a seek
  state.StateChange(3);
  state.StateChange(4);
  EXPECT_EQ(trackPath(), first);
  // The next clip of a playlist keeps the source text; its load is what tells.
  state.StateChange(1);
  const QString second = trackPath();
  EXPECT_NE(second, first);
  state.StateChange(3);
  EXPECT_EQ(trackPath(), second);
  // A new source read before its load is reported is one new track, not two.
  media.source = "file:///m/b.mp3";
  media.playState = 1;
  const QString third = trackPath();
  EXPECT_NE(third, second);
  state.StateChange(1);
  EXPECT_EQ(trackPath(), third);
}

TEST_F(Mpris, RefreshReportsOnlyWhatChanged) {
  load("file:///m/a.mp3", 3000, 3);
  EXPECT_TRUE(state.Refresh(0).properties.isEmpty());  // the baseline
  EXPECT_TRUE(state.Refresh(10).properties.isEmpty());

  media.level = 20;
  EXPECT_EQ(state.Refresh(20).properties.keys(), QStringList{"Volume"});
  media.playState = 4;
  media.optionL = true;
  auto changed = state.Refresh(30).properties;
  EXPECT_EQ(changed.keys(), (QStringList{"LoopStatus", "PlaybackStatus"}));
  EXPECT_EQ(changed.value("PlaybackStatus").toString(), "Paused");

  media.source = "file:///m/b.mp3";
  media.label = "B";
  changed = state.Refresh(40).properties;
  ASSERT_TRUE(changed.contains("Metadata"));
  EXPECT_EQ(changed.value("Metadata").toMap().value("xesam:title").toString(), "B");

  media.source = "file://";
  changed = state.Refresh(50).properties;
  for (const char* key : {"Metadata", "CanPlay", "CanPause", "CanSeek", "CanGoNext", "CanGoPrevious"})
    EXPECT_TRUE(changed.contains(key)) << key;
}

TEST_F(Mpris, RefreshTellsSeeksFromSteadyPlaying) {
  load("file:///m/a.mp3", 60000, 3);
  media.position = 1000;
  state.Refresh(0);
  media.position = 3000;  // two seconds of playing
  EXPECT_FALSE(state.Refresh(2000).seekedUs);
  media.position = 5000;  // a key seek a second ahead
  EXPECT_EQ(state.Refresh(3000).seekedUs, 5'000'000);
  media.position = 4000;  // and back
  EXPECT_EQ(state.Refresh(3100).seekedUs, 4'000'000);

  media.playState = 4;  // paused: the position stands still
  EXPECT_FALSE(state.Refresh(3200).seekedUs);
  EXPECT_FALSE(state.Refresh(9000).seekedUs);
  media.position = 6000;
  EXPECT_EQ(state.Refresh(9100).seekedUs, 6'000'000);

  // A seek the command already announced is not announced again.
  media.position = 20000;
  state.NoteSeek(9200);
  EXPECT_FALSE(state.Refresh(9300).seekedUs);

  // Stopping or a new clip moves the position, but that is not a seek.
  media.playState = 0;
  media.position = 0;
  EXPECT_FALSE(state.Refresh(9400).seekedUs);
  media.playState = 3;
  media.position = 30000;
  media.source = "file:///m/b.mp3";
  EXPECT_FALSE(state.Refresh(9500).seekedUs);
}

}  // namespace
