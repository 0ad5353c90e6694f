// SPDX-License-Identifier: MIT
// A stand-in org.freedesktop.ScreenSaver service for tests on a private session bus.
// It logs every Inhibit and UnInhibit, and drops an inhibition whose caller leaves the
// bus, as desktops do, writing the active count to the log after every change.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QMap>
#include <QObject>

class ScreenSaver : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  explicit ScreenSaver(const QString& logPath) : log_(logPath) {
    log_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    watcher_.setConnection(QDBusConnection::sessionBus());
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
      for (auto it = owners_.begin(); it != owners_.end();) {
        if (it.value() == name) {
          write(QString("gone %1").arg(it.key()));
          it = owners_.erase(it);
        } else {
          ++it;
        }
      }
      write(QString("active %1").arg(owners_.size()));
    });
  }

 public slots:
  uint Inhibit(const QString& application, const QString& reason) {
    const uint cookie = next_++;
    owners_.insert(cookie, message().service());
    watcher_.addWatchedService(message().service());
    write(QString("inhibit %1 %2 (%3)").arg(cookie).arg(application, reason));
    write(QString("active %1").arg(owners_.size()));
    return cookie;
  }
  void UnInhibit(uint cookie) {
    owners_.remove(cookie);
    write(QString("uninhibit %1").arg(cookie));
    write(QString("active %1").arg(owners_.size()));
  }

 private:
  void write(const QString& line) { log_.write((line + "\n").toUtf8()); }

  QFile log_;
  QDBusServiceWatcher watcher_;
  QMap<uint, QString> owners_;
  uint next_ = 1;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) return 2;
  ScreenSaver service(QString::fromLocal8Bit(argv[1]));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/org/freedesktop/ScreenSaver", &service, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.ScreenSaver"))
    return 1;
  return app.exec();
}

#include "screensaver_standin.moc"
