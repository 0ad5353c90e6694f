// SPDX-License-Identifier: MIT
// Desktop media controls (MPRIS on the session bus): media keys, panel widgets and
// playerctl drive the player through the same media-control operations as its keys.
#pragma once

#include "player/media/MediaControl.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <string>

namespace korvane::player {

// What the desktop sees of the player and what its commands do, computed from the
// media control alone (no bus). A failing media operation ends a command quietly and
// a failing read gives the "nothing loaded" value, as the keys and the title bar do.
class MprisState {
 public:
  explicit MprisState(media::MediaControl& media);

  // Player methods.
  void PlayPause();
  void Play();
  void Pause();
  void Stop();
  void Next();
  void Previous();
  // Both return the position (µs) after a seek they made, nullopt when they made none.
  std::optional<qint64> Seek(qint64 offsetUs);
  std::optional<qint64> SetPosition(const QDBusObjectPath& trackId, qint64 positionUs);
  // Only local file URIs; false when refused.
  bool OpenUri(const QString& uri);

  // Player properties.
  QString PlaybackStatus() const;
  QString LoopStatus() const;
  void SetLoopStatus(const QString& status);
  double Volume() const;
  void SetVolume(double volume);
  void SetRate(double rate);
  qint64 Position() const;  // µs
  QVariantMap Metadata();   // not const: the track id follows the loads
  bool CanPlay() const;
  bool CanPause() const;
  bool CanSeek() const;
  bool CanGoNext() const;
  bool CanGoPrevious() const;

  // The engine's state reports, each one in order: a new load gets a new track id.
  void StateChange(std::int32_t state);

  // What changed since the last call: the changed properties that carry change
  // signals, and the position when it jumped (a seek by key or control panel).
  struct Changes {
    QVariantMap properties;
    std::optional<qint64> seekedUs;
  };
  Changes Refresh(qint64 nowMs);
  // A seek this side made and announced: the next Refresh measures from here.
  void NoteSeek(qint64 nowMs);

  // The local path of a file URI ("file:///a%20b" -> "/a b"); nullopt for anything
  // else (other schemes, other hosts, relative or empty paths, NUL bytes).
  static std::optional<std::string> LocalPathOf(const QString& uri);

 private:
  bool hasClip() const;
  QDBusObjectPath trackId();
  QVariantMap signalledProperties();

  media::MediaControl& media_;
  // Track identity: a new source text or a new load makes a new track.
  std::int64_t loads_ = 0;
  std::int32_t lastState_ = -1;
  std::string trackSource_;
  std::int64_t trackLoads_ = -1;
  std::int64_t trackNumber_ = 0;
  // Last Refresh, to tell changes and position jumps.
  QVariantMap last_;
  QDBusObjectPath lastTrack_;
  qint64 lastPositionMs_ = 0, lastTimeMs_ = 0;
  bool lastAdvancing_ = false;
};

// The two MPRIS interfaces on one object, published on a bus. Property changes are
// found by comparing after each engine report, input event or command (coalesced, on
// the event loop), so nothing polls while the player sits idle or plays unwatched.
// The call context of the adaptors' slots is kept on this object, their parent.
class Mpris : public QObject, public QDBusContext {
  Q_OBJECT

 public:
  struct Identity {
    QString identity;      // the edition's application title
    QString desktopEntry;  // the program name
  };
  Mpris(media::MediaControl& media, Identity identity, std::function<void()> raise,
        std::function<void()> quit, QObject* parent = nullptr);
  ~Mpris() override;

  // Publishes the object and the name org.mpris.MediaPlayer2.korvane_rp3.instance<pid>.
  bool publish(QDBusConnection bus);

  MprisState& state() { return state_; }
  const Identity& identity() const { return identity_; }
  void raise();
  void quit();  // after the call's reply has gone out

 public slots:
  // The engine's state reports, in order.
  void engineStateChanged(int state);
  // Something may have changed (volume, length, an input event): look soon.
  void somethingChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class MprisPlayerAdaptor;
  void refreshNow();
  // A seek made by a command: announced at once, and not again by the next look.
  void seekedByCommand(qint64 positionUs);

  MprisState state_;
  Identity identity_;
  std::function<void()> raise_, quit_;
  QDBusConnection bus_;
  QString serviceName_;
  bool published_ = false;
  bool refreshQueued_ = false;
  // A second look after a state report: values such as tags can follow it.
  QTimer settle_;
  class MprisPlayerAdaptor* player_ = nullptr;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool Fullscreen READ Fullscreen)
  Q_PROPERTY(bool CanSetFullscreen READ CanSetFullscreen)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  explicit MprisRootAdaptor(Mpris* owner);
  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool Fullscreen() const { return false; }
  bool CanSetFullscreen() const { return false; }
  bool HasTrackList() const { return false; }
  QString Identity() const;
  QString DesktopEntry() const;
  QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList SupportedMimeTypes() const;

 public slots:
  void Raise();
  void Quit();

 private:
  Mpris* owner_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(bool Shuffle READ Shuffle)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  explicit MprisPlayerAdaptor(Mpris* owner);
  QString PlaybackStatus() const { return state().PlaybackStatus(); }
  QString LoopStatus() const { return state().LoopStatus(); }
  void SetLoopStatus(const QString& status);
  double Rate() const { return 1.0; }
  void SetRate(double rate);
  bool Shuffle() const { return false; }
  QVariantMap Metadata() const { return owner_->state_.Metadata(); }
  double Volume() const { return state().Volume(); }
  void SetVolume(double volume);
  qlonglong Position() const { return state().Position(); }
  bool CanGoNext() const { return state().CanGoNext(); }
  bool CanGoPrevious() const { return state().CanGoPrevious(); }
  bool CanPlay() const { return state().CanPlay(); }
  bool CanPause() const { return state().CanPause(); }
  bool CanSeek() const { return state().CanSeek(); }
  bool CanControl() const { return true; }

 public slots:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong Offset);
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
  void OpenUri(const QString& Uri);

 signals:
  void Seeked(qlonglong Position);

 private:
  const MprisState& state() const { return owner_->state_; }
  // Runs a command, then looks for what it changed.
  template <typename F>
  void command(F&& f);
  Mpris* owner_;
};

}  // namespace korvane::player
