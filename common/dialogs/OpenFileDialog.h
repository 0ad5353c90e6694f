// SPDX-License-Identifier: MIT
// OpenFileDialog: the open-file dialog of the players and the settings tool.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QWidget;

// Shows the open-file dialog titled "ファイルを開く" over `owner` and returns the
// chosen file's complete path, or "" when the user cancels. `filter` holds
// description/pattern pairs, each part ended by a NUL ("Clips\0*.avi;*.mpg\0");
// patterns match regardless of case. The path comes back whole, as the bytes the file
// system holds, names that are not UTF-8 included.
std::string OpenFileDialog(QWidget* owner, std::string_view filter);

namespace korvane::dialogs {

inline const QString kOpenFileTitle = QStringLiteral("ファイルを開く");

// The description/pattern pairs in Qt's filter form. Pattern lists separated by
// ";" become blank-separated; every letter of a pattern becomes a bracket of both
// cases so that the patterns match either case wherever they are used. The
// description is shown as given: the dialog hides the pattern part.
QString qtFilterFromPairs(std::string_view filter);

}  // namespace korvane::dialogs
