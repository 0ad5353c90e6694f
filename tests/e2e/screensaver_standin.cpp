// SPDX-License-Identifier: MIT
// A stand-in screen-saver service (with "portal": the desktop portal's Inhibit) that logs
// each change: "ready active 0", "inhibit 1 active 1".
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QMap>
#include <QObject>

#include <csignal>
#include <functional>
#include <sys/prctl.h>

class ScreenSaver : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  explicit ScreenSaver(const QString& logPath) : log_(logPath) {
    log_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
  }
  uint add(const QString& owner) {
    owners_.insert(next_, owner);
    note(QString("inhibit %1").arg(next_));
    return next_++;
  }
  void note(const QString& change) { log_.write(QString("%1 active %2\n").arg(change).arg(owners_.size()).toUtf8()); }

 public slots:
  uint Inhibit(const QString&, const QString&) { return add(message().service()); }
  void UnInhibit(uint cookie) {
    owners_.remove(cookie);
    note(QString("uninhibit %1").arg(cookie));
  }

 private:
  QFile log_;
  QMap<uint, QString> owners_;
  uint next_ = 1;
};

// A portal request: the inhibition lives as long as this object on the bus.
class Request : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

 public:
  explicit Request(std::function<void()> closed) : closed_(std::move(closed)) {}

 public slots:
  void Close() { closed_(); }

 private:
  std::function<void()> closed_;
};

class Portal : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

 public:
  explicit Portal(ScreenSaver& log) : log_(log) {}

 public slots:
  QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap&) {
    const uint cookie = log_.add(message().service());
    const QString path = QString("/org/freedesktop/portal/desktop/request/%1").arg(cookie);
    auto* request = new Request([this, cookie, path] {
      QDBusConnection::sessionBus().unregisterObject(path);
      log_.UnInhibit(cookie);
    });
    request->setParent(this);
    QDBusConnection::sessionBus().registerObject(path, request, QDBusConnection::ExportAllSlots);
    if (!(flags & 8)) log_.note("not-idle");  // the screen saver is what must be held off
    return QDBusObjectPath(path);
  }

 private:
  ScreenSaver& log_;
};

int main(int argc, char** argv) {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the test that started it
  QCoreApplication app(argc, argv);
  ScreenSaver service(QString::fromLocal8Bit(argv[1]));
  QDBusConnection bus = QDBusConnection::sessionBus();
  Portal portal(service);
  if (argc > 2 && QByteArray(argv[2]) == "portal") {
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal, QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
      return 1;
  } else if (!bus.registerObject("/org/freedesktop/ScreenSaver", &service, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.ScreenSaver"))
    return 1;
  service.note("ready");
  return app.exec();
}

#include "screensaver_standin.moc"
