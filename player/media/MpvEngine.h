// SPDX-License-Identifier: MIT
// The one owner of the libmpv handle: turns the player's operations into asynchronous
// libmpv requests and keeps every value the player reads cached from observed properties.
//
// Threading: everything here runs on the GUI thread. libmpv's wakeup callback (any thread)
// only posts a queued call to drainEvents(); no getter ever calls into libmpv.
#pragma once

#include <QObject>
#include <QSize>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct mpv_handle;
struct mpv_event;

namespace korvane::media {

struct EngineOptions {
  bool nullVideo = false;  // vo=null: decode and report, draw nothing (no render context)
  bool nullAudio = false;  // ao=null
  bool untimed = false;    // play as fast as decoding goes (tests)
  // How the picture reaches the screen: Automatic picks InForm on Wayland, Native elsewhere.
  enum class Picture { Automatic, Native, InForm } picture = Picture::Automatic;
};

class MpvEngine : public QObject {
  Q_OBJECT

 public:
  // Needs the application object to exist and LC_NUMERIC to be "C" (libmpv refuses
  // otherwise); throws MediaError when libmpv cannot start.
  explicit MpvEngine(const EngineOptions& options, QObject* parent = nullptr);
  // Blocks until libmpv has shut down. Anything rendering through the handle is told to
  // let go first (shuttingDown).
  ~MpvEngine() override;

  mpv_handle* handle() const { return mpv_; }
  const EngineOptions& options() const { return options_; }

  // Operations; none blocks.
  void open(std::string_view url);
  void play();
  void pause();
  void stop();
  void seek(std::int64_t ms);
  void nextEntry();
  void prevEntry();
  void setVolume(int level);
  void setMute(bool on);
  void setLoop(bool on);
  // While held, loads wait (queued, not lost): libmpv opens a clip's video only once the
  // render context exists, and the picture's window makes it on another thread.
  void holdLoads(bool on);

  // Cached values.
  const std::string& sourceUrl() const { return sourceUrl_; }
  int state() const { return state_; }
  std::int64_t positionMs() const;
  std::int64_t lengthMs() const { return lengthMs_; }
  const std::string& title() const { return title_; }
  const std::string& artist() const { return artist_; }
  QSize pictureSize() const;  // 2 x 2 when there is no picture or it is not known yet
  int volume() const { return volume_; }
  bool muted() const { return muted_; }
  bool looping() const { return loop_; }

 signals:
  // Each change of state(), in order, always from the event loop (never from inside an
  // operation); again with the same state when the picture size changes while loaded.
  void stateChanged(int state);
  void positionChanged(qint64 ms);
  void lengthChanged(qint64 ms);
  void volumeChanged(int level);
  void muteChanged(bool on);
  // Emitted first thing in the destructor: render contexts must be freed now.
  void shuttingDown();

 private:
  enum class Kind { Nothing, Single, Playlist };
  enum class VideoTrack { Unknown, Yes, No };
  enum Prop : std::uint64_t;

  void drainEvents();
  void handleEvent(const mpv_event& event);
  void handleProperty(std::uint64_t userdata, const mpv_event& event);
  void observeClipProperties();
  void loadEntry();
  void issueLoad();
  void unload();
  void clearClipValues();
  void atEndOfClip();
  void applyLoopMode();
  void setFlagAsync(const char* name, Prop id, bool value);
  void command(std::initializer_list<const char*> args);
  void updateState();
  void flushStateEvents();

  mpv_handle* mpv_ = nullptr;
  EngineOptions options_;
  std::atomic<bool> drainPosted_{false};  // set by the wakeup callback's thread

  // The source and its clip list.
  std::string sourceUrl_;
  Kind kind_ = Kind::Nothing;
  std::vector<std::string> entries_;  // load arguments
  std::size_t index_ = 0;
  std::string currentPath_;  // Single: the path as given, for folder stepping

  // Load bookkeeping. Loads are issued from the event loop so that a seek made right
  // after open() becomes the load's start position.
  bool loadQueued_ = false;
  bool loadsHeld_ = false;
  int loadsInFlight_ = 0;  // loadfile sent, its start-file not seen yet
  std::int64_t entryId_ = -1;       // the entry of the last start-file event
  // The playlist entry our newest loadfile made (from its reply): only its events count.
  // Counting start-file events instead loses track when a stop or a newer load cancels
  // a load before libmpv starts it.
  std::int64_t expectedEntry_ = -1;
  static constexpr std::int64_t kNextEntry = -2;
  std::uint64_t generation_ = 0;
  std::uint64_t clipRound_ = 0;  // observation round of the clip properties, from 1
  std::optional<std::int64_t> startMs_;

  // Playback as last reported (or as just requested, see pendingSets_).
  bool opening_ = false, loaded_ = false, stopped_ = false, ended_ = false;
  bool paused_ = false, seeking_ = false, buffering_ = false;
  VideoTrack video_ = VideoTrack::Unknown;
  QSize picture_;
  double positionS_ = 0;
  std::optional<double> firstPositionS_;  // first position reported while the picture is unknown
  std::int64_t lengthMs_ = 0;
  std::string title_, artist_;
  int volume_ = 100;
  bool muted_ = false, loop_ = false;
  int pendingSets_[16] = {};  // our own sets in flight, per property: echoes are stale until done
  // The position our newest seek asked for stands until libmpv reports one from after it:
  // reports already on their way would send the next relative step back.
  struct SeekHold {
    double targetS = 0;
    std::chrono::steady_clock::time_point since;
  };
  std::optional<SeekHold> seekHold_;
  int seeksInFlight_ = 0;

  int state_ = 0;
  QSize reportedPicture_{2, 2};
  std::deque<int> stateEvents_;
  bool flushQueued_ = false;
};

}  // namespace korvane::media
