// SPDX-License-Identifier: MIT
// A stand-in KorvaneRP3LX for the registry tests: prints "ready <socket path>" once
// published; asked to close, it writes its pid to the marker (as a player its settings) and exits.
//   registry_peer CAPTION [--marker FILE] [--delay-ms N] [--linger-ms N] [--hang]
//   registry_peer --print-program-dir
#include "platform/InstanceRegistry.h"
#include "platform/Paths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed test leaves no peer behind, hung or not
  QCoreApplication app(argc, argv);
  QCommandLineParser args;
  const QCommandLineOption marker("marker", "", "file"), delay("delay-ms", "", "ms", "0"),
      linger("linger-ms", "", "ms", "0"), hang("hang"), printDir("print-program-dir");
  args.addOptions({marker, delay, linger, hang, printDir});
  args.process(app);
  if (args.isSet(printDir)) {
    std::printf("%s\n", korvane::platform::programDirectory().c_str());
    return 0;
  }

  korvane::platform::InstanceRegistry registry(QStringLiteral("KorvaneRP3LX"));
  registry.setCaption(args.positionalArguments().value(0));
  registry.setCloseHandler([&] {
    QThread::msleep(args.value(delay).toULong());
    QFile f(args.value(marker));
    if (args.isSet(marker) && f.open(QIODevice::WriteOnly)) f.write(QByteArray::number(::getpid()));
    while (args.isSet(hang)) ::pause();
    // Like a player tearing down its engine after its window is gone.
    QTimer::singleShot(args.value(linger).toInt(), &app, &QCoreApplication::quit);
  });
  if (!registry.listen()) return 2;
  std::printf("ready %s\n", qPrintable(registry.socketPath()));
  std::fflush(stdout);
  return app.exec();
}
