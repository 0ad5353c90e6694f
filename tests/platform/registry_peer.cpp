// SPDX-License-Identifier: MIT
// A stand-in player for the registry tests: publishes a program name, caption and title,
// and on a close request writes a marker file (as a player writes its settings) and exits.
//
//   registry_peer --program P --caption C --app-title T [--marker FILE] [--delay-ms N]
//                 [--linger-ms N] [--hang] [--delete-in-handler]
//   registry_peer --print-program-dir
// Prints "ready <socket path>" once published. Stdin lines "caption X" / "title X"
// change the published texts (answered "ok"); end of stdin ends the peer.
#include "platform/InstanceRegistry.h"
#include "platform/Paths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <utility>
#include <unistd.h>

using korvane::platform::InstanceRegistry;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser args;
  const QCommandLineOption program("program", "", "name"), caption("caption", "", "text"),
      title("app-title", "", "text"), marker("marker", "", "file"), delay("delay-ms", "", "ms", "0"),
      linger("linger-ms", "", "ms", "0"), hang("hang"), deleteInHandler("delete-in-handler"),
      printDir("print-program-dir");
  args.addOptions({program, caption, title, marker, delay, linger, hang, deleteInHandler, printDir});
  args.process(app);

  if (args.isSet(printDir)) {
    std::printf("%s\n", qPrintable(korvane::platform::programDirectory()));
    return 0;
  }

  // On the heap, so that a handler can destroy it as a window owning it would.
  auto* owned = new InstanceRegistry(args.value(program));
  owned->setCaption(args.value(caption));
  owned->setApplicationTitle(args.value(title));
  owned->setCloseHandler([&] {
    QThread::msleep(args.value(delay).toULong());
    if (args.isSet(marker)) {
      QFile f(args.value(marker));
      if (f.open(QIODevice::WriteOnly)) f.write("closed " + QByteArray::number(::getpid()) + "\n");
    }
    while (args.isSet(hang)) ::pause();
    if (args.isSet(deleteInHandler)) delete std::exchange(owned, nullptr);
    // Like a player tearing down its engine after its window is gone.
    QTimer::singleShot(args.value(linger).toInt(), &app, &QCoreApplication::quit);
  });
  if (!owned->listen()) {
    std::printf("failed\n");
    return 2;
  }
  std::printf("ready %s\n", qPrintable(owned->socketPath()));
  std::fflush(stdout);

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QByteArray pending;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buf[1024];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      app.quit();
      return;
    }
    pending.append(buf, n);
    for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1)) {
      const QString line = QString::fromUtf8(pending.left(nl));
      if (owned && line.startsWith(QLatin1String("caption "))) owned->setCaption(line.mid(8));
      if (owned && line.startsWith(QLatin1String("title "))) owned->setApplicationTitle(line.mid(6));
      std::printf("ok\n");
      std::fflush(stdout);
    }
  });
  const int rc = app.exec();
  delete owned;
  return rc;
}
