// SPDX-License-Identifier: MIT
// The open-file dialog on Qt's QFileDialog, and the filter conversion it needs.
#include "OpenFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace korvane::dialogs {
namespace {

OpenFileProvider& provider() {
  static OpenFileProvider p;
  return p;
}

QString realDialog(const OpenFileRequest& request) {
  QFileDialog dialog(request.owner, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // The description already names its patterns; the bracketed case forms would only confuse.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  QStringList filters = request.qtFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

QString caseFreePattern(const QString& pattern) {
  QString out;
  for (QChar c : pattern) {
    if (c.isLetter() && c.toLower() != c.toUpper()) {
      out += u'[';
      out += c.toLower();
      out += c.toUpper();
      out += u']';
    } else if (c == u'[' || c == u']') {
      // The dialog's patterns know no character sets; brackets are literal.
      out += u'[';
      out += c;
      out += u']';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

OpenFileProvider setOpenFileProvider(OpenFileProvider p) {
  OpenFileProvider old = std::move(provider());
  provider() = std::move(p);
  return old;
}

QString qtFilterFromPairs(std::string_view filter) {
  QStringList parts;
  while (!filter.empty()) {
    size_t nul = filter.find('\0');
    parts << QString::fromUtf8(filter.substr(0, nul).data(),
                               qsizetype(std::min(nul, filter.size())));
    if (nul == std::string_view::npos) break;
    filter.remove_prefix(nul + 1);
    // A second NUL in a row ends the list.
    if (!filter.empty() && filter.front() == '\0') break;
  }
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
      QString trimmed = p.trimmed();
      // "*.*" means every file, as it always has; taken literally it would hide the
      // many files here that have no extension.
      if (trimmed == QStringLiteral("*.*")) trimmed = QStringLiteral("*");
      if (!trimmed.isEmpty()) patterns << caseFreePattern(trimmed);
    }
    if (patterns.isEmpty()) continue;
    entries << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return entries.join(QStringLiteral(";;"));
}

}  // namespace korvane::dialogs

std::string OpenFileDialog(QWidget* owner, std::string_view filter) {
  using namespace korvane::dialogs;
  OpenFileRequest request{owner, kOpenFileTitle, qtFilterFromPairs(filter)};
  QString chosen = provider() ? provider()(request) : realDialog(request);
  return chosen.toStdString();
}
