// SPDX-License-Identifier: MIT
// The registry's server, answering from a thread of its own, and its client side, which
// uses plain non-blocking sockets and poll() so that every wait has a deadline.
#include "InstanceRegistry.h"

#include "Paths.h"
#include "RegistryProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvane::platform {
namespace proto = protocol;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxConnections = 32;
constexpr int kRequestTimeoutMs = 2000;  // a client holds a slot this long without asking
constexpr int kFlushTimeoutMs = 1000;
const char kAskedProperty[] = "korvaneAsked";

qint64 bootTimeNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool isSocket(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

// What this instance publishes. The identity is fixed before the server starts; caption
// and title are written by the GUI thread and read by the server thread.
struct Published {
  proto::Identity id;
  QMutex mutex;
  QString caption;   // guarded by mutex
  QString appTitle;  // guarded by mutex
};

namespace {

// Lives in the registry's thread; all its members are touched only there.
class Server : public QObject {
 public:
  Server(std::shared_ptr<Published> published, std::function<void()> askToClose)
      : published_(std::move(published)), askToClose_(std::move(askToClose)) {}

  // Binds under a hidden name and renames into place: an entry is never visible before it
  // listens, where a lookup would take it for the remains of a crashed process.
  bool start(const QString& dir) {
    const proto::Identity& id = published_->id;
    const QString path = dir + QLatin1Char('/') + proto::entryFileName(id);
    const QString hidden = dir + QStringLiteral("/.%1.%2").arg(id.pid).arg(id.startedNs);
    if (QFile::encodeName(path).size() >= qsizetype(sizeof(sockaddr_un{}.sun_path))) return false;
    server_ = new QLocalServer(this);
    if (!server_->listen(hidden) ||
        ::rename(QFile::encodeName(hidden).constData(), QFile::encodeName(path).constData()) != 0) {
      delete server_;
      server_ = nullptr;
      QFile::remove(hidden);
      return false;
    }
    path_ = path;
    connect(server_, &QLocalServer::newConnection, this, &Server::accept);
    return true;
  }

  // After the GUI thread ran (or lacked) the close handler.
  void closeHandled(bool closed) {
    if (closed) {
      unpublish();  // withdrawn before the answer, so the requester never meets us again
      close_ = CloseState::Done;
    } else {
      close_ = CloseState::Idle;
    }
    for (const QPointer<QLocalSocket>& s : std::exchange(waiting_, {})) {
      if (!s) continue;
      if (closed)
        s->write(proto::encodeClosed(true));  // kept open: its end tells the requester we are gone
      else
        answerAndHangUp(s, proto::encodeClosed(false));
    }
  }

  // Last call before the thread ends. `insideHandler`: the registry is being destroyed
  // from inside its close handler, which has done its work; the requesters are owed it.
  void stop(bool insideHandler) {
    if (insideHandler && close_ == CloseState::Running) closeHandled(true);
    unpublish();
    if (!server_) return;
    for (QLocalSocket* s : server_->findChildren<QLocalSocket*>())
      if (s->state() == QLocalSocket::ConnectedState && s->bytesToWrite() > 0)
        s->waitForBytesWritten(kFlushTimeoutMs);
    delete server_;  // with its connections, in the thread that owns their notifiers
    server_ = nullptr;
  }

 private:
  enum class CloseState { Idle, Running, Done };

  void accept() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
      if (connections_ >= kMaxConnections) {
        s->abort();
        s->deleteLater();
        continue;
      }
      ++connections_;
      connect(s, &QObject::destroyed, this, [this] { --connections_; });
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      s->setReadBufferSize(proto::kMaxRequest);  // a flood stops at the buffer, not in memory
      auto* timeout = new QTimer(s);
      timeout->setSingleShot(true);
      connect(timeout, &QTimer::timeout, s, [s] {
        s->abort();
        s->deleteLater();
      });
      timeout->start(kRequestTimeoutMs);
      connect(s, &QLocalSocket::readyRead, this, [this, s, timeout] { read(s, timeout); });
    }
  }

  void read(QLocalSocket* s, QTimer* timeout) {
    if (s->property(kAskedProperty).toBool()) {
      s->readAll();  // one request per connection; the rest is ignored
      return;
    }
    if (!s->canReadLine()) {
      if (s->bytesAvailable() >= proto::kMaxRequest) answerAndHangUp(s, proto::encodeError());
      return;
    }
    s->setProperty(kAskedProperty, true);
    timeout->stop();
    QByteArray line = s->readLine();
    line.chop(1);
    const std::optional<proto::Request> request = proto::decodeRequest(line);
    if (!request) {
      answerAndHangUp(s, proto::encodeError());
    } else if (*request == proto::Request::Info) {
      proto::Info info{published_->id, {}, {}};
      {
        QMutexLocker lock(&published_->mutex);
        info.caption = published_->caption;
        info.appTitle = published_->appTitle;
      }
      answerAndHangUp(s, proto::encodeInfo(info));
    } else if (close_ == CloseState::Done) {
      s->write(proto::encodeClosed(true));
    } else {
      waiting_.append(s);
      if (close_ == CloseState::Idle) {
        close_ = CloseState::Running;
        askToClose_();
      }
    }
  }

  static void answerAndHangUp(QLocalSocket* s, const QByteArray& answer) {
    s->write(answer);
    s->disconnectFromServer();  // after the pending bytes are written
  }

  void unpublish() {
    if (server_) server_->close();  // accepted connections stay
    if (!path_.isEmpty()) QFile::remove(path_);
    path_.clear();
  }

  const std::shared_ptr<Published> published_;
  const std::function<void()> askToClose_;
  QLocalServer* server_ = nullptr;
  QString path_;
  int connections_ = 0;
  CloseState close_ = CloseState::Idle;
  QList<QPointer<QLocalSocket>> waiting_;  // close requesters owed an answer
};

// ---- client side -------------------------------------------------------------------

struct Entry {
  proto::Identity id;
  QString path;
};

// The published entries of `dir`; anything else there is left alone.
std::vector<Entry> scan(const QString& dir) {
  std::vector<Entry> entries;
  const QStringList names = QDir(dir).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    const auto id = proto::parseEntryFileName(name);
    const QString path = dir + QLatin1Char('/') + name;
    if (id && isSocket(path)) entries.push_back({*id, path});
  }
  return entries;
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

enum class Reach { Connected, Busy, Dead, Gone };

// Connects without blocking. Only Dead (no listener behind the file) proves a crashed
// owner; Busy (a full backlog, a stopped process) is alive.
Reach connectTo(const QString& path, Fd* out) {
  const QByteArray p = QFile::encodeName(path);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (p.size() >= qsizetype(sizeof addr.sun_path)) return Reach::Gone;
  std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return Reach::Busy;  // our own trouble says nothing about the entry
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
    *out = std::move(fd);
    return Reach::Connected;
  }
  if (errno == ECONNREFUSED) return Reach::Dead;
  if (errno == ENOENT) return Reach::Gone;
  return Reach::Busy;
}

void removeDead(const Entry& e) {
  ::unlink(QFile::encodeName(e.path).constData());
}

int msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : int(std::min<long long>(left, 60'000));
}

// Sends `request` on every socket and collects one answer line from each, all by
// `deadline`. A slot stays empty when its peer hangs up, floods or is too slow.
std::vector<std::optional<QByteArray>> exchange(const std::vector<int>& fds, const QByteArray& request,
                                                Clock::time_point deadline) {
  const size_t n = fds.size();
  std::vector<std::optional<QByteArray>> answers(n);
  std::vector<QByteArray> buffers(n);
  std::vector<bool> open(n);
  for (size_t i = 0; i < n; ++i)
    open[i] = ::send(fds[i], request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size();
  for (;;) {
    std::vector<pollfd> pfds;
    std::vector<size_t> index;
    for (size_t i = 0; i < n; ++i) {
      if (!open[i]) continue;
      pfds.push_back({fds[i], POLLIN, 0});
      index.push_back(i);
    }
    const int left = msLeft(deadline);
    if (pfds.empty() || left == 0) break;
    if (::poll(pfds.data(), pfds.size(), left) < 0 && errno != EINTR) break;
    for (size_t k = 0; k < pfds.size(); ++k) {
      if (!pfds[k].revents) continue;
      const size_t i = index[k];
      char buf[4096];
      const ssize_t got = ::recv(fds[i], buf, sizeof buf, 0);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got <= 0) {
        open[i] = false;
        continue;
      }
      buffers[i].append(buf, got);
      if (const qsizetype nl = buffers[i].indexOf('\n'); nl >= 0) {
        answers[i] = buffers[i].left(nl);
        open[i] = false;
      } else if (buffers[i].size() >= proto::kMaxAnswer) {
        open[i] = false;
      }
    }
  }
  return answers;
}

}  // namespace

struct InstanceRegistry::Impl {
  std::shared_ptr<Published> published = std::make_shared<Published>();
  QThread thread;
  Server* server = nullptr;  // lives in `thread`; set while published
  QString path;              // our entry while published
  std::function<void()> closeHandler;
  bool handlerRunning = false;
};

InstanceRegistry::InstanceRegistry(QString program, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>()) {
  d->published->id.program = std::move(program);
  d->published->id.pid = ::getpid();
  d->thread.setObjectName(QStringLiteral("instance-registry"));
}

InstanceRegistry::~InstanceRegistry() {
  if (!d->server) return;
  Server* server = d->server;
  const bool handlerRunning = d->handlerRunning;
  QMetaObject::invokeMethod(server, [server, handlerRunning] { server->stop(handlerRunning); },
                            Qt::BlockingQueuedConnection);
  d->thread.quit();
  d->thread.wait();
}

bool InstanceRegistry::listen() {
  if (d->server) return true;
  if (!proto::isValidProgramName(d->published->id.program)) return false;
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return false;
  d->published->id.startedNs = bootTimeNs();

  auto* server = new Server(d->published, [this] {
    QMetaObject::invokeMethod(this, [this] { runCloseHandler(); }, Qt::QueuedConnection);
  });
  server->moveToThread(&d->thread);
  connect(&d->thread, &QThread::finished, server, &QObject::deleteLater);
  d->thread.start();
  bool ok = false;
  QMetaObject::invokeMethod(server, [&] { ok = server->start(dir); }, Qt::BlockingQueuedConnection);
  if (!ok) {
    d->thread.quit();
    d->thread.wait();
    return false;
  }
  d->server = server;
  d->path = dir + QLatin1Char('/') + proto::entryFileName(d->published->id);
  return true;
}

QString InstanceRegistry::socketPath() const {
  return d->path;
}

void InstanceRegistry::setCaption(const QString& caption) {
  QMutexLocker lock(&d->published->mutex);
  d->published->caption = caption;
}

void InstanceRegistry::setApplicationTitle(const QString& title) {
  QMutexLocker lock(&d->published->mutex);
  d->published->appTitle = title;
}

void InstanceRegistry::setCloseHandler(std::function<void()> handler) {
  d->closeHandler = std::move(handler);
}

void InstanceRegistry::runCloseHandler() {
  const bool haveHandler = bool(d->closeHandler);
  if (haveHandler) {
    QPointer<InstanceRegistry> self(this);
    const std::function<void()> handler = d->closeHandler;  // it may replace itself or delete us
    d->handlerRunning = true;
    handler();
    if (!self) return;  // our destructor has answered
    d->handlerRunning = false;
  }
  Server* server = d->server;
  QMetaObject::invokeMethod(server, [server, haveHandler] { server->closeHandled(haveHandler); },
                            Qt::QueuedConnection);
}

bool InstanceRegistry::anotherInstanceRunning() const {
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return false;
  for (const Entry& e : scan(dir)) {
    if (e.id.program != d->published->id.program || e.path == d->path) continue;
    Fd fd;
    switch (connectTo(e.path, &fd)) {
      case Reach::Connected:
      case Reach::Busy:
        return true;
      case Reach::Dead:
        removeDead(e);
        break;
      case Reach::Gone:
        break;
    }
  }
  return false;
}

std::optional<InstanceInfo> InstanceRegistry::findWindow(const QString& title) const {
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return std::nullopt;
  const auto deadline = Clock::now() + kInfoBound;

  std::vector<Entry> live;
  std::vector<Fd> fds;
  for (const Entry& e : scan(dir)) {
    // Only our own program's windows: the top player's search for the empty title must
    // never close an untitled full-screen player.
    if (e.path == d->path || e.id.program != d->published->id.program) continue;
    Fd fd;
    const Reach reach = connectTo(e.path, &fd);
    if (reach == Reach::Dead) removeDead(e);
    if (reach != Reach::Connected) continue;
    live.push_back(e);
    fds.push_back(std::move(fd));
  }
  std::vector<int> raw;
  for (const Fd& fd : fds) raw.push_back(fd.get());
  const auto answers = exchange(raw, proto::encodeRequest(proto::Request::Info), deadline);

  std::optional<InstanceInfo> oldest;
  for (size_t i = 0; i < live.size(); ++i) {
    const auto info = answers[i] ? proto::decodeInfo(*answers[i]) : std::nullopt;
    const proto::Identity& id = live[i].id;
    // The answer must come from the entry it was asked of.
    if (!info || info->id.program != id.program || info->id.pid != id.pid ||
        info->id.startedNs != id.startedNs)
      continue;
    if (info->caption != title && info->appTitle != title) continue;
    InstanceInfo found{id.program, info->caption, info->appTitle, id.pid, id.startedNs, live[i].path};
    if (!oldest || std::tie(found.startedNs, found.pid, found.socketPath) <
                       std::tie(oldest->startedNs, oldest->pid, oldest->socketPath))
      oldest = std::move(found);
  }
  return oldest;
}

bool InstanceRegistry::requestClose(const InstanceInfo& target, std::chrono::milliseconds bound) const {
  const auto deadline = Clock::now() + bound;
  // Only our own programs' entries are ever asked, and never ourselves.
  const QString dir = runtimeDirectory();
  const QFileInfo file(target.socketPath);
  if (dir.isEmpty() || !file.isAbsolute() || QDir::cleanPath(file.absolutePath()) != dir) return false;
  const auto id = proto::parseEntryFileName(file.fileName());
  const QString path = dir + QLatin1Char('/') + file.fileName();
  if (!id || path == d->path || !isSocket(path)) return false;

  Fd fd;
  switch (connectTo(path, &fd)) {
    case Reach::Connected:
      break;
    case Reach::Dead:
      removeDead({*id, path});
      return false;
    default:
      return false;
  }
  const auto answer = exchange({fd.get()}, proto::encodeRequest(proto::Request::Close), deadline)[0];
  const std::optional<bool> closed = answer ? proto::decodeClosed(*answer) : std::nullopt;
  return closed && *closed;
}

}  // namespace korvane::platform
