// SPDX-License-Identifier: MIT
// A player edition's program: the window, its media engine and the form, started in
// the order the form's load handler expects.
#include "platform/InstanceRegistry.h"
#include "platform/QtTranslations.h"
#include "platform/SessionBus.h"
#include "platform/SessionPlatform.h"
#include "platform/Termination.h"
#include "player/DesktopServices.h"
#include "player/EditionProfile.h"
#include "player/Form1.h"
#include "player/Mpris.h"
#include "player/PlayerWindow.h"
#include "player/media/MediaSet.h"

#if KORVANE_HAS_OPEN_FILE_DIALOG
#include "common/dialogs/OpenFileDialog.h"
#endif

#include <QApplication>
#include <QDBusConnection>

#include <clocale>
#include <cstdio>
#include <memory>

using namespace korvane;

int main(int argc, char** argv) {
  // The command line is the clip's path, whatever it looks like: Qt never sees it, so
  // a file named like one of Qt's options is still a file.
  const std::string commandLine = player::joinArguments(argc, argv);
  platform::chooseWindowSystem();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  // libmpv needs C number formatting; QApplication set the locale from the environment.
  std::setlocale(LC_NUMERIC, "C");
  const QString program = QString::fromUtf8(player::kEdition.programName.data(),
                                            qsizetype(player::kEdition.programName.size()));
  app.setApplicationName(program);
  platform::installQtTranslations(app);
  app.setQuitOnLastWindowClosed(false);  // the window's close ends the program itself

  platform::InstanceRegistry registry(program);
  registry.listen();

  player::PlayerWindow window(&registry);
  std::unique_ptr<media::MediaSet> media;
  try {
    media = std::make_unique<media::MediaSet>(&window, player::kEdition.hasControlPanel);
  } catch (const media::MediaError& e) {
    std::fprintf(stderr, "%s: the media engine could not start: %s\n", argv[0], e.what());
    return 1;
  }
  player::DesktopServices services(registry, commandLine);
  player::Form1 form(media->RealAudio1(), media->RealAudio2(), window, services);
  window.attach(&form);
#if KORVANE_HAS_OPEN_FILE_DIALOG
  form.OpenFileDialog = [&window](std::string_view filter) { return ::OpenFileDialog(&window, filter); };
#endif
  // A newer instance's close request: the window closes the normal way (unload handler
  // included) before the registry answers.
  registry.setCloseHandler([&window] { window.close(); });
  platform::onTerminationRequest([&window] { window.close(); });

  // Desktop media controls, only where a session bus runs; without one nothing changes.
  std::unique_ptr<player::Mpris> mpris;
  if (platform::sessionBusAvailable() && QDBusConnection::sessionBus().isConnected()) {
    mpris = std::make_unique<player::Mpris>(
        media->RealAudio1(),
        player::Mpris::Identity{QString::fromUtf8(player::kEdition.applicationTitle.data(),
                                                  qsizetype(player::kEdition.applicationTitle.size())),
                                program},
        [&window] {
          window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
          window.show();
          window.raise();
          window.activateWindow();
        },
        [&window] { window.close(); });
    media::MpvEngine& engine = media->engine();
    QObject::connect(&engine, &media::MpvEngine::stateChanged, mpris.get(), &player::Mpris::engineStateChanged);
    QObject::connect(&engine, &media::MpvEngine::lengthChanged, mpris.get(), &player::Mpris::somethingChanged);
    QObject::connect(&engine, &media::MpvEngine::volumeChanged, mpris.get(), &player::Mpris::somethingChanged);
    mpris->publish(QDBusConnection::sessionBus());
  }

  form.Form_Load();
  window.show();
  const int status = app.exec();
  mpris.reset();
  // The views (and the render context with them) go before the engine.
  media.reset();
  return status;
}
