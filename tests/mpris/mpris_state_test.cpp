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

  void load(const char* url, std::int32_t lengthMs = 3000) {
    media.source = url;
    media.length = lengthMs;
    media.playState = 3;
  }
  QString trackPath() { return state.Metadata().value("mpris:trackid").value<QDBusObjectPath>().path(); }
};

TEST_F(Mpris, SeeksStayWithinTheClipAndItsTrackWhoseIdChangesWithEachLoadOnly) {
  load("file:///m/a.mp3", 3000);
  media.position = 1000;
  EXPECT_TRUE(state.Seek(1'500'000));
  EXPECT_TRUE(state.Seek(-4'000'000));   // clamped at the start
  EXPECT_FALSE(state.Seek(2'500'000));   // 3500 > 3000: the next clip
  const QDBusObjectPath track(trackPath());
  EXPECT_FALSE(state.SetPosition(QDBusObjectPath("/org/korvane/rp3/track/999"), 1'000'000));
  EXPECT_FALSE(state.SetPosition(track, 3'000'001));
  EXPECT_TRUE(state.SetPosition(track, 2'999'999));
  // The track id holds through playing, a seek and a pause; a load (the next clip of a list
  // keeps the source text) changes it.
  for (std::int32_t s : {3, 2, 3, 4}) state.StateChange(s);
  EXPECT_EQ(trackPath(), track.path());
  state.StateChange(1);
  EXPECT_NE(trackPath(), track.path());
  media.length = 0;  // length unknown: not seekable
  EXPECT_FALSE(state.CanSeek());
  EXPECT_FALSE(state.Seek(1'000'000));
  EXPECT_EQ(media.calls, (Calls{"Seek(2500)", "Seek(0)", "NextEntry", "Seek(2999)"}));
}

TEST_F(Mpris, OpenUriSetsTheSourceToTheDecodedPathAsADropDoes) {
  const std::pair<const char*, const char*> cases[] = {  // uri, source (nullptr: refused)
      {"file:///tmp/My%20Clip%231%3F%25.mkv", "file:///tmp/My Clip#1?%.mkv"},
      {"FILE://localhost/tmp/%E3%81%82.mp3", "file:///tmp/\xE3\x81\x82.mp3"},
      {"file:///tmp/raw%FF.wav", "file:///tmp/raw\xFF.wav"},  // not UTF-8: bytes kept
      {"http://example.org/a.mp3", nullptr},
      {"file://otherhost/tmp/a.mp3", nullptr},
      {"file:///tmp/a%00b.mp3", nullptr},
      {"file:///tmp/a.mp3#t=10", nullptr},
  };
  for (const auto& [uri, source] : cases) {
    media.calls.clear();
    EXPECT_EQ(state.OpenUri(uri), source != nullptr) << uri;
    EXPECT_EQ(media.calls, source ? Calls{"SetSourceUrl(" + std::string(source) + ")"} : Calls{}) << uri;
  }
}

}  // namespace
