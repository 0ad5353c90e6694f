// SPDX-License-Identifier: MIT
// Qt's own texts (message box buttons, the file dialog) in the user's language.
#pragma once

#include <QLocale>

class QCoreApplication;

namespace korvane::platform {

// Installs Qt's translations for `locale` (the user's by default) from Qt's
// translations folder, where Debian's qt6-translations-l10n puts them; without them Qt
// speaks English. Returns whether a translation was found.
bool installQtTranslations(QCoreApplication& app, const QLocale& locale = QLocale());

}  // namespace korvane::platform
