// SPDX-License-Identifier: MIT
// MPRIS: the commands go to the media control exactly as the keys send them; the
// properties are read from its cached values, so nothing here waits on the engine.
#include "player/Mpris.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QEvent>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include <unistd.h>

namespace korvane::player {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kTrackPrefix = QStringLiteral("/org/korvane/rp3/track/");
constexpr std::string_view kFileScheme = "file://";
// A position further than this from where steady playing would have taken it was moved
// by a seek. Well above the engine's reporting jitter, below the keys' one-second step.
constexpr qint64 kJumpMs = 800;
// The second look after a state report.
constexpr int kSettleMs = 500;

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

qint64 nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// ---- MprisState -------------------------------------------------------------------------

MprisState::MprisState(media::MediaControl& media) : media_(media) {}

bool MprisState::hasClip() const {
  try {
    const std::string source = media_.SourceUrl();
    return !source.empty() && source != kFileScheme;
  } catch (const std::exception&) {
    return false;
  }
}

// The Space key's rule.
void MprisState::PlayPause() {
  try {
    const std::int32_t state = media_.PlayState();
    if (state == media::kStopped || state == media::kPaused)
      media_.Play();
    else
      media_.Pause();
  } catch (const std::exception&) {
  }
}

void MprisState::Play() {
  try {
    media_.Play();
  } catch (const std::exception&) {
  }
}

void MprisState::Pause() {
  try {
    media_.Pause();
  } catch (const std::exception&) {
  }
}

void MprisState::Stop() {
  try {
    media_.PeriodCommand();
  } catch (const std::exception&) {
  }
}

void MprisState::Next() {
  try {
    media_.NextEntry();
  } catch (const std::exception&) {
  }
}

void MprisState::Previous() {
  try {
    media_.PrevEntry();
  } catch (const std::exception&) {
  }
}

std::optional<qint64> MprisState::Seek(qint64 offsetUs) {
  if (!CanSeek()) return std::nullopt;
  try {
    const std::int64_t target = std::int64_t(media_.Position()) + offsetUs / 1000;
    // Past the end means the next clip; before the start means the start.
    if (target > media_.Length()) {
      media_.NextEntry();
      return std::nullopt;
    }
    media_.Seek(std::int32_t(std::max<std::int64_t>(target, 0)));
    return qint64(media_.Position()) * 1000;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<qint64> MprisState::SetPosition(const QDBusObjectPath& track, qint64 positionUs) {
  if (positionUs < 0 || !CanSeek() || track != trackId()) return std::nullopt;
  try {
    if (positionUs > qint64(media_.Length()) * 1000) return std::nullopt;
    media_.Seek(std::int32_t(positionUs / 1000));
    return qint64(media_.Position()) * 1000;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> MprisState::LocalPathOf(const QString& uri) {
  const QUrl url(uri, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) return std::nullopt;
  if (!url.host().isEmpty() && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
    return std::nullopt;
  // A '#' or '?' of a file name arrives escaped; unescaped they are not part of the path.
  if (url.hasQuery() || url.hasFragment()) return std::nullopt;
  // Decoded byte by byte: a file name need not be valid UTF-8.
  const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (!path.startsWith('/') || path.contains('\0')) return std::nullopt;
  return path.toStdString();
}

// As a drop does: the source is "file://" + the path as it is.
bool MprisState::OpenUri(const QString& uri) {
  const auto path = LocalPathOf(uri);
  if (!path) return false;
  try {
    media_.SetSourceUrl(std::string(kFileScheme) + *path);
  } catch (const std::exception&) {
  }
  return true;
}

QString MprisState::PlaybackStatus() const {
  try {
    switch (media_.PlayState()) {
      case media::kOpening:  // a load always goes on to play
      case media::kBuffering:
      case media::kPlaying:
        return QStringLiteral("Playing");
      case media::kPaused:
        return QStringLiteral("Paused");
      default:
        break;
    }
  } catch (const std::exception&) {
  }
  return QStringLiteral("Stopped");
}

QString MprisState::LoopStatus() const {
  try {
    return media_.OptionL() ? QStringLiteral("Track") : QStringLiteral("None");
  } catch (const std::exception&) {
    return QStringLiteral("None");
  }
}

// The loop option is the one repeat the engine has: a playlist repeat is asked for with
// the same switch. Unlike key L this does not start playing: it sets a mode, not a command.
void MprisState::SetLoopStatus(const QString& status) {
  const bool none = status == QLatin1String("None");
  if (!none && status != QLatin1String("Track") && status != QLatin1String("Playlist")) return;
  try {
    media_.SetOptionL(!none);
  } catch (const std::exception&) {
  }
}

double MprisState::Volume() const {
  try {
    return std::clamp(int(media_.Level()), 0, 100) / 100.0;
  } catch (const std::exception&) {
    return 0.0;
  }
}

void MprisState::SetVolume(double volume) {
  if (!std::isfinite(volume)) return;
  try {
    media_.SetLevel(std::int16_t(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
  } catch (const std::exception&) {
  }
}

// Only 1.0 is offered; a rate of 0 is to act as a pause.
void MprisState::SetRate(double rate) {
  if (rate == 0.0) Pause();
}

qint64 MprisState::Position() const {
  if (!hasClip()) return 0;
  try {
    return qint64(media_.Position()) * 1000;
  } catch (const std::exception&) {
    return 0;
  }
}

QDBusObjectPath MprisState::trackId() {
  if (!hasClip()) return QDBusObjectPath(kNoTrack);
  std::string source;
  try {
    source = media_.SourceUrl();
    // The state is current before its report arrives: a load seen here and then
    // reported is still one load.
    StateChange(media_.PlayState());
  } catch (const std::exception&) {
  }
  if (source != trackSource_ || loads_ != trackLoads_) {
    trackSource_ = source;
    trackLoads_ = loads_;
    ++trackNumber_;
  }
  return QDBusObjectPath(kTrackPrefix + QString::number(trackNumber_));
}

QVariantMap MprisState::Metadata() {
  QVariantMap map;
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
  if (!hasClip()) return map;
  try {
    const std::string source = media_.SourceUrl();
    const std::int32_t length = media_.Length();
    if (length > 0) map.insert(QStringLiteral("mpris:length"), qint64(length) * 1000);
    // A clip without a title tag goes by its file name, as in the title bar.
    QString title = fromUtf8(media_.ClipLabel());
    if (title.isEmpty()) title = fromUtf8(source.substr(source.rfind('/') + 1));
    map.insert(QStringLiteral("xesam:title"), title);
    const QString artist = fromUtf8(media_.ClipSublabel());
    if (!artist.isEmpty()) map.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    // The source holds the path unescaped; a URI needs it escaped.
    QString url = fromUtf8(source);
    if (source.rfind(kFileScheme, 0) == 0) {
      const QByteArray path = QByteArray::fromStdString(source.substr(kFileScheme.size()));
      url = QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
    }
    map.insert(QStringLiteral("xesam:url"), url);
  } catch (const std::exception&) {
  }
  return map;
}

bool MprisState::CanPlay() const { return hasClip(); }
bool MprisState::CanPause() const { return hasClip(); }
bool MprisState::CanGoNext() const { return hasClip(); }
bool MprisState::CanGoPrevious() const { return hasClip(); }

bool MprisState::CanSeek() const {
  if (!hasClip()) return false;
  try {
    return media_.Length() > 0;
  } catch (const std::exception&) {
    return false;
  }
}

void MprisState::StateChange(std::int32_t state) {
  if (state == media::kOpening && lastState_ != media::kOpening) ++loads_;
  lastState_ = state;
}

QVariantMap MprisState::signalledProperties() {
  return {
      {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
      {QStringLiteral("LoopStatus"), LoopStatus()},
      {QStringLiteral("Volume"), Volume()},
      {QStringLiteral("Metadata"), Metadata()},
      {QStringLiteral("CanPlay"), CanPlay()},
      {QStringLiteral("CanPause"), CanPause()},
      {QStringLiteral("CanSeek"), CanSeek()},
      {QStringLiteral("CanGoNext"), CanGoNext()},
      {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
  };
}

MprisState::Changes MprisState::Refresh(qint64 now) {
  Changes changes;
  const QVariantMap current = signalledProperties();
  if (!last_.isEmpty()) {
    for (auto it = current.cbegin(); it != current.cend(); ++it)
      if (last_.value(it.key()) != it.value()) changes.properties.insert(it.key(), it.value());
  }
  const QDBusObjectPath track = trackId();
  std::int32_t position = 0, state = media::kStopped;
  try {
    position = hasClip() ? media_.Position() : 0;
    state = media_.PlayState();
  } catch (const std::exception&) {
  }
  if (!last_.isEmpty() && track == lastTrack_ && track.path() != kNoTrack && state != media::kStopped) {
    const qint64 expected = lastPositionMs_ + (lastAdvancing_ ? now - lastTimeMs_ : 0);
    if (std::llabs(position - expected) > kJumpMs) changes.seekedUs = qint64(position) * 1000;
  }
  last_ = current;
  lastTrack_ = track;
  lastPositionMs_ = position;
  lastTimeMs_ = now;
  lastAdvancing_ = state == media::kPlaying;
  return changes;
}

void MprisState::NoteSeek(qint64 now) {
  lastTrack_ = trackId();
  try {
    lastPositionMs_ = hasClip() ? media_.Position() : 0;
    lastAdvancing_ = media_.PlayState() == media::kPlaying;
  } catch (const std::exception&) {
  }
  lastTimeMs_ = now;
}

// ---- Mpris ------------------------------------------------------------------------------

Mpris::Mpris(media::MediaControl& media, Identity identity, std::function<void()> raise,
             std::function<void()> quit, QObject* parent)
    : QObject(parent),
      state_(media),
      identity_(std::move(identity)),
      raise_(std::move(raise)),
      quit_(std::move(quit)),
      bus_(QString()) {
  new MprisRootAdaptor(this);
  player_ = new MprisPlayerAdaptor(this);
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &Mpris::somethingChanged);
}

Mpris::~Mpris() {
  if (!published_) return;
  qApp->removeEventFilter(this);
  bus_.unregisterService(serviceName_);
  bus_.unregisterObject(kObjectPath);
}

bool Mpris::publish(QDBusConnection bus) {
  if (published_ || !bus.isConnected()) return false;
  const QString name = QStringLiteral("org.mpris.MediaPlayer2.korvane_rp3.instance") + QString::number(::getpid());
  if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
  if (!bus.registerService(name)) {
    bus.unregisterObject(kObjectPath);
    return false;
  }
  bus_ = bus;
  serviceName_ = name;
  published_ = true;
  state_.Refresh(nowMs());  // the baseline the first change is measured from
  // Keys and clicks can change what has no engine signal (loop, a seek by key).
  qApp->installEventFilter(this);
  return true;
}

bool Mpris::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
      somethingChanged();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void Mpris::engineStateChanged(int state) {
  state_.StateChange(state);
  if (!published_) return;
  somethingChanged();
  settle_.start();
}

void Mpris::somethingChanged() {
  if (!published_ || refreshQueued_) return;
  refreshQueued_ = true;
  QMetaObject::invokeMethod(this, &Mpris::refreshNow, Qt::QueuedConnection);
}

void Mpris::refreshNow() {
  refreshQueued_ = false;
  const MprisState::Changes changes = state_.Refresh(nowMs());
  if (!changes.properties.isEmpty()) {
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changes.properties << QStringList();
    bus_.send(signal);
  }
  if (changes.seekedUs) emit player_->Seeked(*changes.seekedUs);
}

void Mpris::seekedByCommand(qint64 positionUs) {
  state_.NoteSeek(nowMs());
  emit player_->Seeked(positionUs);
}

void Mpris::raise() {
  if (raise_) raise_();
}

// After the reply has gone out: closing ends the program.
void Mpris::quit() {
  if (quit_) QTimer::singleShot(0, this, quit_);
}

// ---- adaptors ---------------------------------------------------------------------------

MprisRootAdaptor::MprisRootAdaptor(Mpris* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

QString MprisRootAdaptor::Identity() const { return owner_->identity().identity; }
QString MprisRootAdaptor::DesktopEntry() const { return owner_->identity().desktopEntry; }

// The types the players' desktop entries declare.
QStringList MprisRootAdaptor::SupportedMimeTypes() const {
  return QStringLiteral(
      "video/mp4 video/x-matroska video/webm video/mpeg video/quicktime "
      "video/x-msvideo video/x-ms-wmv application/vnd.ms-asf video/x-flv video/ogg "
      "video/x-ogm+ogg video/x-theora+ogg video/3gpp video/3gpp2 video/mp2t video/dv "
      "video/vnd.rn-realvideo application/vnd.rn-realmedia audio/mpeg audio/mp4 "
      "audio/aac audio/ac3 audio/flac audio/ogg audio/x-vorbis+ogg audio/x-opus+ogg "
      "audio/x-wav audio/x-aiff audio/x-ms-wma audio/webm audio/x-matroska "
      "audio/vnd.rn-realaudio audio/x-mpegurl audio/x-ms-asx")
      .split(QLatin1Char(' '));
}

void MprisRootAdaptor::Raise() { owner_->raise(); }
void MprisRootAdaptor::Quit() { owner_->quit(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(Mpris* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

template <typename F>
void MprisPlayerAdaptor::command(F&& f) {
  f(owner_->state_);
  owner_->somethingChanged();
}

void MprisPlayerAdaptor::SetLoopStatus(const QString& status) {
  command([&](MprisState& s) { s.SetLoopStatus(status); });
}
void MprisPlayerAdaptor::SetRate(double rate) {
  command([&](MprisState& s) { s.SetRate(rate); });
}
void MprisPlayerAdaptor::SetVolume(double volume) {
  command([&](MprisState& s) { s.SetVolume(volume); });
}
void MprisPlayerAdaptor::Next() {
  command([](MprisState& s) { s.Next(); });
}
void MprisPlayerAdaptor::Previous() {
  command([](MprisState& s) { s.Previous(); });
}
void MprisPlayerAdaptor::Pause() {
  command([](MprisState& s) { s.Pause(); });
}
void MprisPlayerAdaptor::PlayPause() {
  command([](MprisState& s) { s.PlayPause(); });
}
void MprisPlayerAdaptor::Stop() {
  command([](MprisState& s) { s.Stop(); });
}
void MprisPlayerAdaptor::Play() {
  command([](MprisState& s) { s.Play(); });
}
void MprisPlayerAdaptor::Seek(qlonglong offset) {
  command([&](MprisState& s) {
    if (const auto position = s.Seek(offset)) owner_->seekedByCommand(*position);
  });
}
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
  command([&](MprisState& s) {
    if (const auto at = s.SetPosition(track, position)) owner_->seekedByCommand(*at);
  });
}
void MprisPlayerAdaptor::OpenUri(const QString& uri) {
  command([&](MprisState& s) {
    if (!s.OpenUri(uri) && owner_->calledFromDBus())
      owner_->sendErrorReply(QDBusError::NotSupported, QStringLiteral("only local file URIs can be opened"));
  });
}

}  // namespace korvane::player
