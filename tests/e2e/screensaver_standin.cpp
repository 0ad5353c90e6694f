// SPDX-License-Identifier: MIT
// A stand-in org.freedesktop.ScreenSaver service for tests on a private session bus.
// It drops an inhibition whose caller leaves the bus, as desktops do, and logs every
// change with the number of inhibitions then active ("inhibit 1 active 1"), beginning
// with "ready active 0" once it is on the bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QMap>
#include <QObject>

#include <csignal>
#include <sys/prctl.h>

class ScreenSaver : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  explicit ScreenSaver(const QString& logPath) : log_(logPath) {
    log_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
      for (uint cookie : owners_.keys(name)) {
        owners_.remove(cookie);
        note(QString("gone %1").arg(cookie));
      }
    });
  }
  void note(const QString& change) { log_.write(QString("%1 active %2\n").arg(change).arg(owners_.size()).toUtf8()); }

 public slots:
  uint Inhibit(const QString&, const QString&) {
    owners_.insert(next_, message().service());
    watcher_.addWatchedService(message().service());
    note(QString("inhibit %1").arg(next_));
    return next_++;
  }
  void UnInhibit(uint cookie) {
    owners_.remove(cookie);
    note(QString("uninhibit %1").arg(cookie));
  }

 private:
  QFile log_;
  QDBusServiceWatcher watcher_{QString(), QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForUnregistration};
  QMap<uint, QString> owners_;
  uint next_ = 1;
};

int main(int argc, char** argv) {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the test that started it
  QCoreApplication app(argc, argv);
  ScreenSaver service(QString::fromLocal8Bit(argv[1]));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/org/freedesktop/ScreenSaver", &service, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.ScreenSaver"))
    return 1;
  service.note("ready");
  return app.exec();
}

#include "screensaver_standin.moc"
