// SPDX-License-Identifier: MIT
// The libmpv engine: asynchronous requests out, observed properties and events in.
#include "player/media/MpvEngine.h"

#include "player/media/ClipList.h"
#include "player/media/MediaControl.h"

#include <mpv/client.h>

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <strings.h>
#include <system_error>

namespace korvane::media {

// Observed properties; the id is the reply_userdata of their change events.
enum MpvEngine::Prop : std::uint64_t {
  kTimePos = 1,
  kDuration,
  kPause,
  kEofReached,
  kSeeking,
  kPausedForCache,
  kDWidth,
  kDHeight,
  kMetadata,
  kVolume,
  kMute,
  kLoopFile,  // set only
};

namespace {

// reply_userdata of our own requests: a kind in the high half, a value in the low half.
enum Reply : std::uint64_t { kSetReply = 1, kVidReply = 2, kLoadReply = 3, kSeekReply = 4 };
std::uint64_t tag(Reply kind, std::uint64_t value) { return (std::uint64_t{kind} << 32) | (value & 0xffffffffu); }
Reply replyKind(std::uint64_t userdata) { return static_cast<Reply>(userdata >> 32); }
std::uint64_t replyValue(std::uint64_t userdata) { return userdata & 0xffffffffu; }

constexpr std::size_t kMaxPlaylistBytes = 4 << 20;

std::string seconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

bool flagOf(const mpv_event_property& p) {
  return p.format == MPV_FORMAT_FLAG && *static_cast<int*>(p.data) != 0;
}

std::optional<double> doubleOf(const mpv_event_property& p) {
  if (p.format != MPV_FORMAT_DOUBLE) return std::nullopt;
  const double v = *static_cast<double*>(p.data);
  return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

int intOf(const mpv_event_property& p) {
  if (p.format != MPV_FORMAT_INT64) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(*static_cast<std::int64_t*>(p.data), 0, 1 << 20));
}

std::string metadataValue(const mpv_node& map, const char* key) {
  if (map.format != MPV_FORMAT_NODE_MAP) return {};
  const mpv_node_list* list = map.u.list;
  for (int i = 0; i < list->num; ++i) {
    if (strcasecmp(list->keys[i], key) == 0 && list->values[i].format == MPV_FORMAT_STRING)
      return list->values[i].u.string;
  }
  return {};
}

// Change events of a clip's own values carry their observation's round above the id.
constexpr unsigned kRoundShift = 16;

}  // namespace

MpvEngine::MpvEngine(const EngineOptions& options, QObject* parent) : QObject(parent), options_(options) {
  mpv_ = mpv_create();
  if (!mpv_) throw MediaError("libmpv could not start (is LC_NUMERIC \"C\"?)");

  // Only what we ask for: no user configuration, scripts, key bindings or terminal.
  const std::pair<const char*, const char*> settings[] = {
      {"config", "no"},
      {"terminal", "no"},
      {"idle", "yes"},
      {"keep-open", "yes"},
      {"input-default-bindings", "no"},
      {"input-vo-keyboard", "no"},
      {"input-cursor", "no"},
      {"osc", "no"},
      {"ytdl", "no"},
      {"load-scripts", "no"},
      {"load-stats-overlay", "no"},
      {"load-osd-console", "no"},
      {"load-auto-profiles", "no"},
      // The sound servers and ALSA, then silence: SDL's audio rides on the same servers
      // and only adds a slow failed probe (~100 ms) on machines without sound.
      {"ao", "pipewire,pulse,alsa,jack"},
      {"audio-fallback-to-null", "yes"},
      {"hwdec", "no"},
      {"gpu-hwdec-interop", "no"},  // probing CUDA and VA-API interop costs start-up time
      {"vo", options_.nullVideo ? "null" : "libmpv"},
  };
  for (const auto& [name, value] : settings) mpv_set_option_string(mpv_, name, value);
  if (options_.nullAudio) mpv_set_option_string(mpv_, "ao", "null");
  if (options_.untimed) mpv_set_option_string(mpv_, "untimed", "yes");

  if (mpv_initialize(mpv_) < 0) {
    mpv_terminate_destroy(mpv_);
    mpv_ = nullptr;
    throw MediaError("libmpv could not be initialised");
  }

  const std::pair<Prop, std::pair<const char*, mpv_format>> observed[] = {
      {kTimePos, {"time-pos", MPV_FORMAT_DOUBLE}},
      {kPause, {"pause", MPV_FORMAT_FLAG}},
      {kSeeking, {"seeking", MPV_FORMAT_FLAG}},
      {kPausedForCache, {"paused-for-cache", MPV_FORMAT_FLAG}},
      {kVolume, {"volume", MPV_FORMAT_DOUBLE}},
      {kMute, {"mute", MPV_FORMAT_FLAG}},
  };
  for (const auto& [id, property] : observed) mpv_observe_property(mpv_, id, property.first, property.second);
  observeClipProperties();

  mpv_set_wakeup_callback(
      mpv_,
      [](void* context) {
        // Any thread: post one drain at a time to the GUI thread, nothing more.
        auto* self = static_cast<MpvEngine*>(context);
        if (!self->drainPosted_.exchange(true))
          QMetaObject::invokeMethod(self, &MpvEngine::drainEvents, Qt::QueuedConnection);
      },
      this);
}

MpvEngine::~MpvEngine() {
  emit shuttingDown();
  // No wakeup may post to this object once it is gone; queued drains die with it.
  mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
  mpv_terminate_destroy(mpv_);
}

std::int64_t MpvEngine::positionMs() const {
  if (stopped_ || !loaded_) return 0;
  return std::llround(positionS_ * 1000);
}

QSize MpvEngine::pictureSize() const {
  if (!loaded_ || video_ == VideoTrack::No || picture_.width() <= 0 || picture_.height() <= 0) return {2, 2};
  return picture_;
}

// ---- operations -------------------------------------------------------------------------

void MpvEngine::open(std::string_view url) {
  sourceUrl_ = std::string(url);
  startMs_.reset();
  currentPath_.clear();
  entries_.clear();
  index_ = 0;

  const auto path = pathFromFileUrl(url);
  if (!path) {
    if (url.empty()) return unload();
    kind_ = Kind::Single;  // another URL: libmpv's own protocols, no folder to step through
    entries_.emplace_back(url);
  } else if (path->empty()) {
    return unload();  // "file://" alone
  } else if (const PlaylistKind playlist = playlistKindOf(*path); playlist != PlaylistKind::None) {
    std::ifstream in(*path, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), {});
    const auto slash = path->rfind('/');
    const std::string baseDir = slash == std::string::npos ? std::string() : path->substr(0, slash + 1);
    if (text.size() <= kMaxPlaylistBytes) entries_ = parsePlaylist(text, playlist, baseDir);
    if (entries_.empty()) return unload();
    kind_ = Kind::Playlist;
  } else {
    std::error_code ec;
    if (std::filesystem::is_directory(*path, ec)) return unload();  // libmpv would play a folder as a list
    kind_ = Kind::Single;
    currentPath_ = *path;
    entries_.push_back(loadArgument(*path));
  }
  applyLoopMode();
  loadEntry();
}

void MpvEngine::play() {
  if (kind_ == Kind::Nothing) return;
  if (!loaded_ && !opening_) return loadEntry();  // after a failed load: try again
  if (ended_) {
    command({"seek", "0", "absolute"});
    ended_ = false;
  }
  stopped_ = false;
  paused_ = false;
  setFlagAsync("pause", kPause, false);
  updateState();
}

void MpvEngine::pause() {
  if ((!loaded_ && !opening_) || stopped_ || ended_) return;
  paused_ = true;
  setFlagAsync("pause", kPause, true);
  updateState();
}

void MpvEngine::stop() {
  if (!loaded_ && !opening_) return;
  stopped_ = true;
  ended_ = false;
  paused_ = true;
  setFlagAsync("pause", kPause, true);
  if (loaded_) command({"seek", "0", "absolute"});
  else startMs_.reset();
  positionS_ = 0;
  seekHold_ = SeekHold{0, std::chrono::steady_clock::now()};
  emit positionChanged(0);
  updateState();
}

void MpvEngine::seek(std::int64_t ms) {
  if (kind_ == Kind::Nothing) return;
  ms = std::max<std::int64_t>(ms, 0);
  if (opening_) {
    startMs_ = ms;  // the load takes it as its start, or it is sent once the clip has loaded
    return;
  }
  if (!loaded_) return;
  if (lengthMs_ > 0) ms = std::min(ms, lengthMs_);
  const std::string target = seconds(ms);
  const char* args[] = {"seek", target.c_str(), "absolute", nullptr};
  if (mpv_command_async(mpv_, tag(kSeekReply, 0), args) < 0) return;
  ++seeksInFlight_;
  positionS_ = static_cast<double>(ms) / 1000;
  seekHold_ = SeekHold{positionS_, std::chrono::steady_clock::now()};
  emit positionChanged(positionMs());
}

void MpvEngine::nextEntry() {
  if (kind_ == Kind::Playlist) {
    if (index_ + 1 >= entries_.size()) return;
    ++index_;
    return loadEntry();
  }
  if (kind_ != Kind::Single || currentPath_.empty()) return;
  const auto next = stepInFolder(currentPath_, 1);
  if (!next) return;
  currentPath_ = *next;
  sourceUrl_ = "file://" + *next;
  entries_ = {loadArgument(*next)};
  loadEntry();
}

void MpvEngine::prevEntry() {
  if (kind_ == Kind::Playlist) {
    if (index_ == 0) return;
    --index_;
    return loadEntry();
  }
  if (kind_ != Kind::Single || currentPath_.empty()) return;
  const auto prev = stepInFolder(currentPath_, -1);
  if (!prev) return;
  currentPath_ = *prev;
  sourceUrl_ = "file://" + *prev;
  entries_ = {loadArgument(*prev)};
  loadEntry();
}

void MpvEngine::setVolume(int level) {
  level = std::clamp(level, 0, 100);
  volume_ = level;
  double value = level;
  if (mpv_set_property_async(mpv_, tag(kSetReply, kVolume), "volume", MPV_FORMAT_DOUBLE, &value) >= 0)
    ++pendingSets_[kVolume];
  emit volumeChanged(level);
}

void MpvEngine::setMute(bool on) {
  muted_ = on;
  setFlagAsync("mute", kMute, on);
  emit muteChanged(on);
}

void MpvEngine::setLoop(bool on) {
  loop_ = on;
  applyLoopMode();
}

// ---- loading ----------------------------------------------------------------------------

void MpvEngine::loadEntry() {
  ++generation_;
  opening_ = true;
  loaded_ = stopped_ = ended_ = paused_ = false;
  clearClipValues();
  if (!loadQueued_) {
    loadQueued_ = true;
    QMetaObject::invokeMethod(this, &MpvEngine::issueLoad, Qt::QueuedConnection);
  }
  updateState();
}

void MpvEngine::holdLoads(bool on) {
  loadsHeld_ = on;
  if (!on) issueLoad();  // a load waiting for this goes out now
}

void MpvEngine::issueLoad() {
  if (!loadQueued_ || loadsHeld_) return;
  loadQueued_ = false;
  if (!opening_ || index_ >= entries_.size()) return;

  // The named form with a start option: a seek sent before the clip has loaded is dropped.
  const std::string start = startMs_ ? "start=" + seconds(*startMs_) : std::string();
  startMs_.reset();
  mpv_node items[4];
  char* keys[4] = {const_cast<char*>("name"), const_cast<char*>("url"), const_cast<char*>("flags"),
                   const_cast<char*>("options")};
  const char* values[4] = {"loadfile", entries_[index_].c_str(), "replace", start.c_str()};
  for (int i = 0; i < 4; ++i) {
    items[i].format = MPV_FORMAT_STRING;
    items[i].u.string = const_cast<char*>(values[i]);
  }
  mpv_node_list list{start.empty() ? 3 : 4, items, keys};
  mpv_node args;
  args.format = MPV_FORMAT_NODE_MAP;
  args.u.list = &list;

  // A new clip plays by itself, unless paused or stopped while it was being opened.
  setFlagAsync("pause", kPause, paused_ || stopped_);
  if (mpv_command_node_async(mpv_, tag(kLoadReply, generation_), &args) >= 0) {
    ++loadsInFlight_;
  } else {
    opening_ = false;
    updateState();
  }
}

void MpvEngine::unload() {
  ++generation_;
  const bool busy = loaded_ || opening_ || loadsInFlight_ > 0;
  kind_ = Kind::Nothing;
  entries_.clear();
  opening_ = loaded_ = stopped_ = ended_ = false;
  startMs_.reset();
  expectedEntry_ = -1;
  if (busy) command({"stop"});
  clearClipValues();
  updateState();
}

void MpvEngine::clearClipValues() {
  positionS_ = 0;
  lengthMs_ = 0;
  title_.clear();
  artist_.clear();
  picture_ = QSize();
  video_ = VideoTrack::Unknown;
  firstPositionS_.reset();
  seekHold_.reset();
  seeking_ = buffering_ = false;
  emit positionChanged(0);
  emit lengthChanged(0);
}

void MpvEngine::atEndOfClip() {
  // A list plays on; it starts over only with loop on (a single clip loops inside libmpv).
  if (kind_ == Kind::Playlist && (index_ + 1 < entries_.size() || loop_)) {
    index_ = (index_ + 1) % entries_.size();
    return loadEntry();
  }
  ended_ = true;
}

void MpvEngine::applyLoopMode() {
  const char* value = loop_ && kind_ != Kind::Playlist ? "inf" : "no";
  if (mpv_set_property_async(mpv_, tag(kSetReply, kLoopFile), "loop-file", MPV_FORMAT_STRING, &value) >= 0)
    ++pendingSets_[kLoopFile];
}

void MpvEngine::setFlagAsync(const char* name, Prop id, bool value) {
  int flag = value ? 1 : 0;
  if (mpv_set_property_async(mpv_, tag(kSetReply, id), name, MPV_FORMAT_FLAG, &flag) >= 0) ++pendingSets_[id];
}

void MpvEngine::command(std::initializer_list<const char*> args) {
  std::vector<const char*> argv(args);
  argv.push_back(nullptr);
  mpv_command_async(mpv_, 0, argv.data());
}

// A clip's own values. libmpv reports a change only against the value it read last, and
// it may not read the gap between two clips: a clip with the same length, picture size or
// end as the one before it would then report nothing at all. So they are observed afresh
// for every clip, and a fresh observation always reports its first value.
void MpvEngine::observeClipProperties() {
  const std::pair<Prop, std::pair<const char*, mpv_format>> clipProperties[] = {
      {kDuration, {"duration", MPV_FORMAT_DOUBLE}},
      {kEofReached, {"eof-reached", MPV_FORMAT_FLAG}},
      {kDWidth, {"dwidth", MPV_FORMAT_INT64}},
      {kDHeight, {"dheight", MPV_FORMAT_INT64}},
      {kMetadata, {"metadata", MPV_FORMAT_NODE}},
  };
  for (const auto& [id, property] : clipProperties) mpv_unobserve_property(mpv_, (clipRound_ << kRoundShift) | id);
  ++clipRound_;
  for (const auto& [id, property] : clipProperties)
    mpv_observe_property(mpv_, (clipRound_ << kRoundShift) | id, property.first, property.second);
}

// ---- events -----------------------------------------------------------------------------

void MpvEngine::drainEvents() {
  drainPosted_ = false;  // a wakeup from here on posts another drain
  for (;;) {
    const mpv_event* event = mpv_wait_event(mpv_, 0);
    if (event->event_id == MPV_EVENT_NONE) break;
    handleEvent(*event);
  }
  updateState();
}

void MpvEngine::handleEvent(const mpv_event& event) {
  switch (event.event_id) {
    case MPV_EVENT_PROPERTY_CHANGE:
      handleProperty(event.reply_userdata, event);
      break;
    case MPV_EVENT_START_FILE:
      entryId_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
      if (expectedEntry_ == kNextEntry && loadsInFlight_ == 0) expectedEntry_ = entryId_;
      observeClipProperties();
      break;
    case MPV_EVENT_FILE_LOADED:
      if (loadsInFlight_ > 0 || loadQueued_ || !opening_ || entryId_ != expectedEntry_) break;  // an earlier load's
      opening_ = false;
      loaded_ = true;
      mpv_get_property_async(mpv_, tag(kVidReply, generation_), "vid", MPV_FORMAT_STRING);
      if (startMs_) {
        const std::string target = seconds(*startMs_);
        startMs_.reset();
        command({"seek", target.c_str(), "absolute"});
      }
      if (stopped_) command({"seek", "0", "absolute"});
      break;
    case MPV_EVENT_END_FILE: {
      const auto* end = static_cast<const mpv_event_end_file*>(event.data);
      if (loadsInFlight_ > 0 || loadQueued_ || end->playlist_entry_id != expectedEntry_) break;
      const bool wasLoaded = loaded_;
      opening_ = loaded_ = false;
      if (end->reason == MPV_END_FILE_REASON_ERROR && kind_ == Kind::Playlist && index_ + 1 < entries_.size()) {
        ++index_;  // skip an entry that cannot be played
        loadEntry();
      } else if (end->reason == MPV_END_FILE_REASON_EOF && wasLoaded) {
        atEndOfClip();
      }
      if (!opening_) clearClipValues();
      break;
    }
    case MPV_EVENT_GET_PROPERTY_REPLY:
      if (replyKind(event.reply_userdata) == kVidReply && replyValue(event.reply_userdata) == (generation_ & 0xffffffffu) &&
          loaded_) {
        const auto* p = static_cast<const mpv_event_property*>(event.data);
        const bool none = event.error < 0 || p->format != MPV_FORMAT_STRING ||
                          std::string_view(*static_cast<char**>(p->data)) == "no";
        video_ = none ? VideoTrack::No : VideoTrack::Yes;
      }
      break;
    case MPV_EVENT_SET_PROPERTY_REPLY:
      if (replyKind(event.reply_userdata) == kSetReply) {
        const auto id = replyValue(event.reply_userdata);
        if (id < std::size(pendingSets_) && pendingSets_[id] > 0) --pendingSets_[id];
      }
      break;
    case MPV_EVENT_COMMAND_REPLY:
      if (replyKind(event.reply_userdata) == kSeekReply) {
        if (seeksInFlight_ > 0) --seeksInFlight_;
        if (event.error < 0 && seeksInFlight_ == 0) seekHold_.reset();
      }
      if (replyKind(event.reply_userdata) == kLoadReply) {
        if (loadsInFlight_ > 0) --loadsInFlight_;
        const bool current = replyValue(event.reply_userdata) == (generation_ & 0xffffffffu);
        if (event.error < 0) {
          if (current) opening_ = loaded_ = false;
        } else if (current) {
          const mpv_node& result = static_cast<const mpv_event_command*>(event.data)->result;
          expectedEntry_ = kNextEntry;  // a libmpv that does not name the entry: the next one to start
          if (result.format == MPV_FORMAT_NODE_MAP)
            for (int i = 0; i < result.u.list->num; ++i)
              if (std::string_view(result.u.list->keys[i]) == "playlist_entry_id" &&
                  result.u.list->values[i].format == MPV_FORMAT_INT64)
                expectedEntry_ = result.u.list->values[i].u.int64;
        }
      }
      break;
    default:
      break;
  }
}

void MpvEngine::handleProperty(std::uint64_t userdata, const mpv_event& event) {
  const auto& p = *static_cast<const mpv_event_property*>(event.data);
  const std::uint64_t round = userdata >> kRoundShift;
  if (round != 0 && round != clipRound_) return;  // an earlier clip's observation
  const std::uint64_t id = userdata & ((std::uint64_t{1} << kRoundShift) - 1);
  if (id < std::size(pendingSets_) && pendingSets_[id] > 0) return;  // stale: our own set is on its way
  // Values of the clip being replaced are of no interest.
  const bool betweenClips = loadQueued_ || loadsInFlight_ > 0 || entryId_ != expectedEntry_;
  switch (id) {
    case kTimePos:
      if (betweenClips) break;
      if (seekHold_) {
        // Held until a report lands near the target once the last seek was taken, or for
        // a second at most: a seek that cannot be made exactly never lands there. While
        // paused libmpv reports the target less what the audio output holds, so the
        // target stands until playing.
        const double reported = doubleOf(p).value_or(0);
        const bool landed = seeksInFlight_ == 0 && !paused_ && std::abs(reported - seekHold_->targetS) < 0.5;
        if (!landed && std::chrono::steady_clock::now() - seekHold_->since < std::chrono::seconds(1)) break;
        seekHold_.reset();
      }
      positionS_ = doubleOf(p).value_or(0);
      // A video track that shows no picture after a second of playing has none to show
      // (its output failed): the clip plays on as one without picture.
      if (loaded_ && video_ != VideoTrack::No && pictureSize() == QSize(2, 2) && doubleOf(p)) {
        if (!firstPositionS_) firstPositionS_ = positionS_;
        else if (positionS_ - *firstPositionS_ > 1.0) video_ = VideoTrack::No;
      }
      emit positionChanged(positionMs());
      break;
    case kDuration:
      if (betweenClips) break;
      lengthMs_ = std::llround(std::max(0.0, doubleOf(p).value_or(0)) * 1000);
      emit lengthChanged(lengthMs_);
      break;
    case kPause:
      paused_ = flagOf(p);
      break;
    case kEofReached:
      if (betweenClips) break;
      if (flagOf(p)) {
        if (loaded_ && !ended_ && !stopped_) atEndOfClip();
      } else {
        ended_ = false;
      }
      break;
    case kSeeking:
      seeking_ = flagOf(p);
      break;
    case kPausedForCache:
      buffering_ = flagOf(p);
      break;
    case kDWidth:
      if (!betweenClips) picture_.setWidth(intOf(p));
      break;
    case kDHeight:
      if (!betweenClips) picture_.setHeight(intOf(p));
      break;
    case kMetadata:
      if (betweenClips) break;
      if (p.format == MPV_FORMAT_NODE) {
        const auto& map = *static_cast<const mpv_node*>(p.data);
        title_ = metadataValue(map, "title");
        artist_ = metadataValue(map, "artist");
        if (artist_.empty()) artist_ = metadataValue(map, "author");
      } else {
        title_.clear();
        artist_.clear();
      }
      break;
    case kVolume:
      if (const auto v = doubleOf(p)) {
        volume_ = std::clamp(static_cast<int>(std::lround(*v)), 0, 100);
        emit volumeChanged(volume_);
      }
      break;
    case kMute:
      if (p.format == MPV_FORMAT_FLAG) {
        muted_ = flagOf(p);
        emit muteChanged(muted_);
      }
      break;
    default:
      break;
  }
}

// ---- state ------------------------------------------------------------------------------

void MpvEngine::updateState() {
  int state = kStopped;
  const QSize picture = pictureSize();
  if (loaded_) {
    const bool pictureKnown = video_ == VideoTrack::No || picture != QSize(2, 2);
    if (stopped_ || ended_) state = kStopped;
    else if (paused_) state = kPaused;
    else if (seeking_ || buffering_) state = kBuffering;
    else if (!pictureKnown) state = kOpening;
    else state = kPlaying;
  } else if (opening_) {
    state = kOpening;
  }
  const bool pictureChanged = loaded_ && picture != reportedPicture_;
  reportedPicture_ = picture;
  if (state != state_ || pictureChanged) {
    state_ = state;
    stateEvents_.push_back(state);
  }
  if (!stateEvents_.empty() && !flushQueued_) {
    flushQueued_ = true;
    QMetaObject::invokeMethod(this, &MpvEngine::flushStateEvents, Qt::QueuedConnection);
  }
}

void MpvEngine::flushStateEvents() {
  flushQueued_ = false;
  std::deque<int> events;
  events.swap(stateEvents_);
  for (const int state : events) emit stateChanged(state);
}

}  // namespace korvane::media
