// SPDX-License-Identifier: MIT
// KorvaneRP3set: the settings tool of the players beside it.
#include "InstanceLock.h"
#include "KVNset.h"
#include "platform/QtTranslations.h"
#include "platform/SessionPlatform.h"

#include <QApplication>
#include <memory>

int main(int argc, char** argv) {
  korvane::platform::chooseWindowSystem();
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("KorvaneRP3set"));
  korvane::platform::installQtTranslations(app);

  auto lock = std::make_unique<korvane::tool::InstanceLock>("KorvaneRP3set");
  korvane::tool::KVNsetEnvironment env = korvane::tool::defaultEnvironment();
  env.anotherInstance = [&lock] { return !lock->acquired(); };

  korvane::tool::KVNset window(env);
  if (!window.Form_Load()) return 0;
  // However the window ends ("設定", "閉じる", the close box), the program ends with it.
  QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
  window.show();
  return app.exec();
}
