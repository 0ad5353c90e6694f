// SPDX-License-Identifier: MIT
// The open-file dialog and the filter conversion it needs. The folder is read with
// std::filesystem rather than QDir: names that are not UTF-8 stay listed, and the chosen
// path comes back as the bytes the file system holds.
#include "OpenFileDialog.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

namespace korvane::dialogs {
namespace {

namespace fs = std::filesystem;

constexpr int kRawName = Qt::UserRole, kIsFolder = Qt::UserRole + 1;

// Where the last choice of this process was made; the next dialog starts there.
fs::path& lastFolder() {
  static fs::path folder;
  return folder;
}

// For display only: bytes that are not UTF-8 show as U+FFFD.
QString shown(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

fs::path typedPath(const fs::path& folder, const QString& text) {
  return (folder / QFile::encodeName(text).toStdString()).lexically_normal();
}

struct Entry {
  std::string name;
  QString label;
  bool folder;
  qint64 size, modified;  // -1 when unknown
};

std::vector<Entry> readFolder(const fs::path& folder) {
  std::vector<Entry> out;
  std::error_code ec;
  // An unreadable folder, or one that fails half way, shows what was read.
  for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().native();
    if (name.empty() || name.front() == '.') continue;
    std::error_code e1, e2, e3;
    const bool isFolder = it->is_directory(e1);
    const auto size = isFolder ? 0 : it->file_size(e2);
    const auto time = it->last_write_time(e3);
    const qint64 secs = e3 ? -1 : std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(time).time_since_epoch()).count();
    QString label = shown(name);
    out.push_back({std::move(name), std::move(label), isFolder, e2 ? -1 : qint64(size), secs});
  }
  return out;
}

struct FileType {
  QString description;
  std::vector<QRegularExpression> patterns;
  bool matches(const QString& name) const {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const QRegularExpression& rx) { return rx.match(name).hasMatch(); });
  }
};

// The entries of qtFilterFromPairs' form back as descriptions and patterns.
std::vector<FileType> fileTypes(const QString& qtFilter) {
  std::vector<FileType> out;
  for (const QString& entry : qtFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
    const qsizetype open = entry.lastIndexOf(QStringLiteral(" ("));
    const bool named = open >= 0 && entry.endsWith(u')');
    FileType type{named ? entry.left(open) : entry, {}};
    const QString patterns = named ? entry.mid(open + 2).chopped(1) : entry;
    for (const QString& p : patterns.split(u' ', Qt::SkipEmptyParts))
      type.patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(p),
                                 QRegularExpression::CaseInsensitiveOption);
    out.push_back(std::move(type));
  }
  if (out.empty()) out.push_back(fileTypes(QStringLiteral("すべてのファイル (*)")).front());
  return out;
}

class FileChooser : public QDialog {
 public:
  FileChooser(QWidget* owner, const QString& qtFilter, const fs::path& start) : QDialog(owner) {
    setWindowTitle(kOpenFileTitle);
    types_ = fileTypes(qtFilter);
    for (const FileType& t : types_) typeBox->addItem(t.description);
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setToolTip(QStringLiteral("一つ上のフォルダーへ"));
    list->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("サイズ"), QStringLiteral("更新日時")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    // Widths from the font rather than the contents: an empty folder keeps its columns,
    // and a large one is not measured row by row.
    const QFontMetrics fm = fontMetrics();
    const QDateTime late(QDate(2000, 12, 28), QTime(23, 59, 59));
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list->header()->resizeSection(1, fm.horizontalAdvance(QStringLiteral("000.00 MiB")) + 2 * fm.height());
    list->header()->resizeSection(2, fm.horizontalAdvance(QLocale().toString(late, QLocale::ShortFormat)) + 2 * fm.height());
    auto* openButton = new QPushButton(QStringLiteral("開く(&O)"));
    auto* cancelButton = new QPushButton(QStringLiteral("キャンセル"));
    openButton->setDefault(true);
    auto* grid = new QGridLayout(this);
    const auto label = [&](const QString& text, QWidget* buddy, int row) {
      auto* l = new QLabel(text);
      l->setBuddy(buddy);
      grid->addWidget(l, row, 0);
      grid->addWidget(buddy, row, 1);
    };
    label(QStringLiteral("場所(&L):"), where, 0);
    grid->addWidget(up, 0, 2, Qt::AlignLeft);
    grid->addWidget(list, 1, 0, 1, 3);
    label(QStringLiteral("ファイル名(&N):"), name, 2);
    grid->addWidget(openButton, 2, 2);
    label(QStringLiteral("ファイルの種類(&T):"), typeBox, 3);
    grid->addWidget(cancelButton, 3, 2);
    where->setObjectName(QStringLiteral("folder"));
    name->setObjectName(QStringLiteral("name"));
    where->installEventFilter(this);
    list->installEventFilter(this);
    connect(up, &QToolButton::clicked, this, &FileChooser::goUp);
    connect(openButton, &QPushButton::clicked, this, &FileChooser::openTyped);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(typeBox, &QComboBox::currentIndexChanged, this, &FileChooser::refill);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &FileChooser::activate);
    connect(list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
      if (item && !item->data(0, kIsFolder).toBool()) name->setText(item->text(0));
    });
    resize(fm.averageCharWidth() * 96, fm.height() * 28);
    enter(start);
    list->setFocus();  // type-ahead and Backspace work at once
  }

  std::string chosen;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool enterKey = key == Qt::Key_Return || key == Qt::Key_Enter;
    // Taken here: left to the views, Enter would also press the default button.
    if (watched == where && enterKey) {
      if (where->text() == shown(folder_.native())) return true;
      std::error_code ec;
      const fs::path p = typedPath(folder_, where->text());
      fs::is_directory(p, ec) ? enter(p) : QApplication::beep();
      return true;
    }
    if (watched != list || !(enterKey || key == Qt::Key_Backspace)) return false;
    enterKey ? activate(list->currentItem()) : goUp();
    return true;
  }

 private:
  void enter(fs::path folder) {
    if (folder.has_relative_path() && !folder.has_filename()) folder = folder.parent_path();
    folder_ = std::move(folder);
    entries_ = readFolder(folder_);
    where->setText(shown(folder_.native()));
    name->clear();  // a name from the folder left behind would not open here
    up->setEnabled(folder_ != folder_.root_path());
    refill();
  }

  void goUp() {
    const std::string from = folder_.filename().native();
    enter(folder_.parent_path());
    // Back where one came from, as the keys would leave it.
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->data(0, kRawName).toByteArray().toStdString() == from)
        list->setCurrentItem(list->topLevelItem(i));
  }

  void refill() {
    list->clear();
    const FileType& type = types_[std::max(0, typeBox->currentIndex())];
    std::vector<const Entry*> kept;
    for (const Entry& e : entries_)
      if (e.folder || type.matches(e.label)) kept.push_back(&e);
    // The C locale's collator compares code units and ignores numeric mode.
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(kept.begin(), kept.end(), [&](const Entry* a, const Entry* b) {
      if (a->folder != b->folder) return a->folder;
      const int order = collator.compare(a->label, b->label);
      return order ? order < 0 : a->name < b->name;  // names alike once decoded keep one order
    });
    const QFileIconProvider icons;
    const QIcon folderIcon = icons.icon(QFileIconProvider::Folder), fileIcon = icons.icon(QFileIconProvider::File);
    const QLocale locale;
    for (const Entry* e : kept) {
      const QString size = e->folder || e->size < 0 ? QString() : locale.formattedDataSize(e->size);
      const QString time = e->modified < 0 ? QString()
          : locale.toString(QDateTime::fromSecsSinceEpoch(e->modified), QLocale::ShortFormat);
      auto* item = new QTreeWidgetItem(list, {e->label, size, time});
      item->setIcon(0, e->folder ? folderIcon : fileIcon);
      item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
      item->setData(0, kRawName, QByteArray::fromStdString(e->name));
      item->setData(0, kIsFolder, e->folder);
    }
  }

  void activate(QTreeWidgetItem* item) {
    if (!item) return;
    const fs::path path = folder_ / item->data(0, kRawName).toByteArray().toStdString();
    item->data(0, kIsFolder).toBool() ? enter(path) : choose(path);
  }

  // The Open button and Enter outside the list: the name typed, or the file selected
  // when the name is still the one its selection put there, since that one keeps its bytes.
  void openTyped() {
    QTreeWidgetItem* item = list->currentItem();
    if (name->text().isEmpty() || (item && item->text(0) == name->text()))
      return activate(item);
    const fs::path p = typedPath(folder_, name->text());
    std::error_code ec;
    if (fs::is_directory(p, ec)) return enter(p);
    if (fs::exists(p, ec)) return choose(p);
    QApplication::beep();
    name->selectAll();
  }

  void choose(const fs::path& path) {
    chosen = path.native();
    lastFolder() = path.parent_path();
    accept();
  }

  QLineEdit* where = new QLineEdit;
  QToolButton* up = new QToolButton;
  QTreeWidget* list = new QTreeWidget;
  QLineEdit* name = new QLineEdit;
  QComboBox* typeBox = new QComboBox;
  std::vector<FileType> types_;
  std::vector<Entry> entries_;
  fs::path folder_;
};

QString caseFreePattern(const QString& pattern) {
  QString out;
  for (QChar c : pattern) {
    if (c.isLetter() && c.toLower() != c.toUpper()) {
      out += u'[';
      out += c.toLower();
      out += c.toUpper();
      out += u']';
    } else if (c == u'[' || c == u']') {
      // A pair's patterns know no character sets; brackets are literal.
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
  namespace fs = std::filesystem;
  using namespace korvane::dialogs;
  std::error_code ec;
  fs::path start = lastFolder();
  if (start.empty() || !fs::is_directory(start, ec)) start = fs::current_path(ec);
  FileChooser dialog(owner, qtFilterFromPairs(filter), ec ? fs::path("/") : start);
  return dialog.exec() == QDialog::Accepted ? dialog.chosen : std::string();
}
