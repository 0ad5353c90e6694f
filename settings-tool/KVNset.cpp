// SPDX-License-Identifier: MIT
// The settings window's controls, load steps, option rule and button handlers,
// and the association runs over the classes-root store.
#include "KVNset.h"

#include "DesktopAssociations.h"
#include "ToolPaths.h"
#include "common/dialogs/OpenFileDialog.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsLocation.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <map>

namespace korvane::tool {
namespace {

using settings::kKeepConnectSection;
using settings::kOptionSection;

struct Place {
  int left, top, width, height, tab;
  const char* caption;
  const char* tooltip;
};

// The option boxes by index.
constexpr std::array<Place, KVNset::kOptionCount> kCheckPlaces = {{
    {120, 120, 2655, 255, 0, "画面を常に手前", "そのまんまです。"},
    {120, 480, 4455, 255, 2, "画面を動画のサイズにあわせる",
     "拡大倍率と組み合わせて使うことでさまざまな再生方法が楽しめます。"},
    {120, 840, 4455, 255, 3, "画面をWindowsXP以外に最適化",
     "OSがWindowsXP以外(95/98SE/NT/2000/Me)をお使いの方はチェックしてください。"},
    {120, 1200, 4455, 255, 4, "画面サイズ、画面位置を記憶",
     "終了時に自動で画面サイズ、画面位置を記憶するようになります。"},
    {120, 1560, 4455, 255, 1, "多重起動防止", "多重起動防止にします。"},
    {120, 1920, 4455, 255, 26, "タイトルバー再生情報非表示",
     "タイトルバーに再生情報を表示しません。"},
    {120, 2280, 4455, 255, 27, "レジューム再生",
     "終了時に再生していたファイルとポジションを記憶し、起動時に自動でロードします。"},
}};

// The extension boxes by entry index; entry 11 is the own extension.
constexpr std::array<Place, KVNset::kEntryCount> kEntryPlaces = {{
    {120, 3360, 615, 255, 7, "avi", "Windowsの標準的なビデオファイル形式。"},
    {840, 3720, 615, 255, 8, "rm", "RealMediaのファイルに付けられる拡張子。"},
    {1560, 3360, 615, 255, 11, "mov",
     "Apple Computer社のQuickＴimeで作成されたビデオファイル形式。"},
    {840, 3360, 615, 255, 10, "mid",
     "ＭＩＤＩ規格に準拠した音源を制御するためのファイルフォーマット形式。"},
    {2280, 3360, 615, 255, 12, "mp3", "MPEG形式のうちの音声データ部分のみを保管したファイル形式。"},
    {3000, 3360, 615, 255, 13, "mpg", "MPEG形式と呼ばれる圧縮された動画ファイル形式。"},
    {2280, 3720, 615, 255, 14, "wav", "PCM録音されたWAVEファイルというオーディオファイル形式。"},
    {3000, 3720, 735, 255, 15, "wma",
     "Windows Media AudioファイルというMP3と同様な圧縮オーディオファイル形式だがマイクロソフト独自の"
     "音声圧縮技術。オーディオのみ含まれる。"},
    {1560, 3720, 735, 255, 16, "rv", nullptr},
    {3720, 3360, 735, 255, 17, "ra", "リアルオーディオで作成された音声ファイル形式。"},
    {120, 3720, 615, 255, 9, "ram", "リアルオーディオで作成された音声ファイル形式。"},
    {3720, 3720, 735, 255, 18, "", "任意の拡張子を入力することで一覧に無い拡張子に関連付けできます。"},
}};

constexpr Place kLabel3{120, 2760, 2175, 255, 25, "■関連付け", nullptr};
constexpr Place kText1{120, 3000, 4095, 270, 5, "",
                       "関連付けするプログラムのパスを入力するところです。基本的に自動で設定されるので"
                       "変更する必要はありません。"};
constexpr Place kCommand5{4320, 3030, 255, 225, 6, "...", "関連付けするプログラムを設定できます。"};
constexpr Place kText2{3960, 3720, 495, 270, 19, "",
                       "任意の拡張子を入力することで一覧に無い拡張子に関連付けできます。"};
constexpr Place kCommand1{120, 4080, 1095, 255, 20, "設定", "関連付け以外の設定を確定します。"};
constexpr Place kCommand3{1320, 4080, 975, 255, 21, "関連設定", "関連付けの設定を行います。"};
constexpr Place kCommand4{2400, 4080, 975, 255, 22, "関連解除", "関連付けの解除を行います。"};
constexpr Place kCommand2{3480, 4080, 1095, 255, 23, "閉じる", "閉じます。"};

constexpr int kClientWidthTwips = 4665;
constexpr int kClientHeightTwips = 4425;

const QString kAlreadyRunning = QStringLiteral("既に起動されています。");
const QString kOptionRuleMessage =
    QStringLiteral("多重起動を防止する場合はタイトルバー再生情報を非表示に設定する必要があります。");
const QString kChooseProgram = QStringLiteral("関連付けするプログラムを選んでください");
const QString kRegistered = QStringLiteral("関連付け設定しました");
const QString kRemoved = QStringLiteral("関連付け解除しました");
const QString kRefusedExtension = QStringLiteral("拡張子に使用できない文字が含まれています。");
// Said instead of the success texts when a run could not do what was asked.
const QString kRegisterFailed = QStringLiteral("関連付けを設定できませんでした。変更は元に戻しました。");
const QString kRemoveFailed = QStringLiteral("関連付けを解除できませんでした。変更は元に戻しました。");
const QString kNotUsed = QStringLiteral(
    "関連付け設定しましたが、次の拡張子はデスクトップの別の設定が優先されるため、このプログラムでは開かれません:");

// On Linux programs carry no suffix, so the program filter shows every file.
const std::string_view kProgramFilter("プログラムファイル\0*\0", sizeof("プログラムファイル\0*\0") - 1);

double twipsPerPixel(int dpi) { return 1440.0 / (dpi > 0 ? dpi : 96); }

// The extension boxes are 41 pixels wide at 96 dpi, where the usual gap and font cut
// "mov" to "mo": a one-pixel gap, then half points off the font until the
// caption fits the box, which never moves or grows.
void fitCaption(QCheckBox* box) {
  box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 1px; }"));
  QFont f = box->font();
  while (box->sizeHint().width() > box->width() && f.pointSizeF() > 6) {
    f.setPointSizeF(f.pointSizeF() - 0.5);
    box->setFont(f);
  }
}

}  // namespace

bool ownExtensionAcceptable(const QString& text) {
  for (QChar c : text) {
    if (c == u'\\' || c == u'/' || c == u'*' || c == u'?' || c == u'[' || c == u']') return false;
    if (c.isSpace() || c.category() == QChar::Other_Control) return false;
  }
  return extensionFitsDesktop(text.toStdString());
}

KVNsetEnvironment defaultEnvironment() {
  KVNsetEnvironment env;
  env.toolDir = programDir();
  env.settingsFile = settings::settingsFilePath(env.toolDir);
  env.classesStore = classesStorePath();
  env.anotherInstance = [] { return false; };
  env.message = [](const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, kToolCaption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
  };
  env.followStore = [](const ClassesRoot& store, RunJournal& journal) {
    return followStoreOnDesktop(store, desktopFolders(), journal);
  };
  return env;
}

KVNset::KVNset(KVNsetEnvironment env, QWidget* parent) : QDialog(parent), env_(std::move(env)) {
  setWindowTitle(kToolCaption);
  // Fixed single border: a close box, no maximise or minimise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  buildControls();
}

void KVNset::buildControls() {
  QFont f = font();
  f.setPointSize(9);
  setFont(f);

  const double tx = twipsPerPixel(logicalDpiX());
  const double ty = twipsPerPixel(logicalDpiY());
  std::map<int, QWidget*> byTab;
  auto place = [&](QWidget* w, const Place& p) {
    w->setGeometry(int(std::lround(p.left / tx)), int(std::lround(p.top / ty)),
                   int(std::lround(p.width / tx)), int(std::lround(p.height / ty)));
    if (p.tooltip) w->setToolTip(QString::fromUtf8(p.tooltip));
    byTab[p.tab] = w;
  };

  for (int i = 0; i < kOptionCount; ++i) {
    Check[i] = new QCheckBox(QString::fromUtf8(kCheckPlaces[i].caption), this);
    place(Check[i], kCheckPlaces[i]);
    // clicked comes from the user only (mouse or keyboard), never from setChecked.
    connect(Check[i], &QCheckBox::clicked, this, [this, i] { Check_Click(i); });
  }
  Label3 = new QLabel(QString::fromUtf8(kLabel3.caption), this);
  place(Label3, kLabel3);
  Text1 = new QLineEdit(this);
  place(Text1, kText1);
  Command5 = new QPushButton(QString::fromUtf8(kCommand5.caption), this);
  place(Command5, kCommand5);
  for (int e = 0; e < kEntryCount; ++e) {
    kanren1[e] = new QCheckBox(QString::fromUtf8(kEntryPlaces[e].caption), this);
    place(kanren1[e], kEntryPlaces[e]);
    fitCaption(kanren1[e]);
  }
  Text2 = new QLineEdit(this);
  place(Text2, kText2);
  Command1 = new QPushButton(QString::fromUtf8(kCommand1.caption), this);
  place(Command1, kCommand1);
  Command3 = new QPushButton(QString::fromUtf8(kCommand3.caption), this);
  place(Command3, kCommand3);
  Command4 = new QPushButton(QString::fromUtf8(kCommand4.caption), this);
  place(Command4, kCommand4);
  Command2 = new QPushButton(QString::fromUtf8(kCommand2.caption), this);
  place(Command2, kCommand2);

  for (QPushButton* b : {Command1, Command2, Command3, Command4, Command5}) b->setAutoDefault(false);
  connect(Command1, &QPushButton::clicked, this, &KVNset::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &KVNset::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &KVNset::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &KVNset::Command4_Click);
  connect(Command5, &QPushButton::clicked, this, &KVNset::Command5_Click);

  QWidget* previous = nullptr;
  for (auto& [tab, w] : byTab) {
    if (w == Label3) continue;  // a label takes no focus
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
  setFixedSize(int(std::lround(kClientWidthTwips / tx)), int(std::lround(kClientHeightTwips / ty)));
}

bool KVNset::Form_Load() {
  // 1. One tool at a time.
  if (env_.anotherInstance && env_.anotherInstance()) {
    env_.message(kAlreadyRunning, QMessageBox::Information);
    return false;
  }
  // 2. By default the associations point at the standard player beside the tool.
  Text1->setText(QString::fromStdString((env_.toolDir / "KorvaneRP3LX").string()));
  // 3, 4. The option flags; only exactly 1 ticks a box. Setting them runs no option
  // rule, so the boxes show what the file holds.
  iniRead();
  for (int i = 0; i < kOptionCount; ++i)
    if (optionValues_[i] == 1) Check[i]->setChecked(true);
  // 5, 6. The association records.
  iniRead4();
  for (int e = 0; e < kEntryCount; ++e)
    if (records_[e] == 1) kanren1[e]->setChecked(true);
  return true;
}

void KVNset::iniRead() {
  for (int i = 0; i < kOptionCount; ++i) optionKeys_[i] = std::string(settings::kOptionKeys[i]);
  for (int i = 0; i < kOptionCount; ++i)
    optionValues_[i] = settings::profileInt(kOptionSection, optionKeys_[i],
                                            settings::kOptionDefault, env_.settingsFile);
}

void KVNset::iniCheckWrite() {
  for (int i = 0; i < kOptionCount; ++i)
    settings::writeProfileString(kOptionSection, optionKeys_[i], optionTexts_[i], env_.settingsFile);
}

void KVNset::iniRead4() {
  for (int e = 0; e < kOwnEntry; ++e) recordKeys_[e] = "." + kanren1[e]->text().toStdString();
  recordKeys_[kOwnEntry] = "";
  for (int e = 0; e < kEntryCount; ++e)
    records_[e] = settings::profileInt(kKeepConnectSection, recordKeys_[e],
                                       settings::kKeepConnectDefault, env_.settingsFile);
}

void KVNset::iniKanrenWrite(short& registered) {
  recordsWritten_ &= settings::writeProfileString(kKeepConnectSection, recordKeys_[currentEntry_],
                                                  std::to_string(registered), env_.settingsFile);
}

void KVNset::iniKanrenkaijyoWrite(short& /*entry*/) {
  recordsWritten_ &= settings::writeProfileString(kKeepConnectSection, recordKeys_[currentEntry_], "0",
                                                  env_.settingsFile);
}

void KVNset::Check_Click(int /*index*/) {
  // The hand-over finds an earlier player by its caption, which play information
  // in the title bar would replace.
  if (Check[settings::NotMultiStart]->isChecked() &&
      !Check[settings::NotPlayInfoDisplay]->isChecked()) {
    env_.message(kOptionRuleMessage, QMessageBox::Information);
    Check[settings::NotPlayInfoDisplay]->setChecked(true);
  }
}

void KVNset::Command1_Click() {
  for (int i = 0; i < kOptionCount; ++i) optionTexts_[i] = Check[i]->isChecked() ? "1" : "0";
  iniCheckWrite();
  end();
}

void KVNset::Command2_Click() { end(); }

// Both association buttons need a program path (removal too, although it does not use
// it) and an own extension that names no other key.
bool KVNset::associationInputsAccepted() {
  if (Text1->text().isEmpty()) {
    env_.message(kChooseProgram, QMessageBox::NoIcon);
    return false;
  }
  if (ownExtensionRefused()) {
    env_.message(kRefusedExtension, QMessageBox::NoIcon);
    return false;
  }
  return true;
}

void KVNset::Command3_Click() {
  if (!associationInputsAccepted()) return;
  regkanrenduke();
  if (outcome_.failed) {
    env_.message(kRegisterFailed, QMessageBox::Warning);
  } else if (!outcome_.notUsed.empty()) {
    QString text = kNotUsed;
    for (const std::string& ext : outcome_.notUsed) text += u' ' + QString::fromStdString(ext);
    env_.message(text, QMessageBox::Warning);
  } else {
    env_.message(kRegistered, QMessageBox::NoIcon);
  }
}

void KVNset::Command4_Click() {
  if (!associationInputsAccepted()) return;
  regdelkanrenduke();
  env_.message(outcome_.failed ? kRemoveFailed : kRemoved,
               outcome_.failed ? QMessageBox::Warning : QMessageBox::NoIcon);
}

void KVNset::Command5_Click() {
  Text1->clear();
  Text1->setText(QString::fromStdString(OpenFileDialog(this, kProgramFilter)));
}

void KVNset::end() {
  close();  // hides the window; the program ends with it
}

std::string KVNset::extensionText(int entry) const {
  if (entry == kOwnEntry) return Text2->text().toStdString();
  return kanren1[entry]->text().toStdString();
}

// An own-extension box ticked from its record after a restart has no text; its
// names would be "." and "file", keys that are nobody's to write or delete.
bool KVNset::entryHasNoExtension(int entry) const {
  return entry == kOwnEntry && Text2->text().isEmpty();
}

bool KVNset::ownExtensionRefused() const {
  return kanren1[kOwnEntry]->isChecked() && !ownExtensionAcceptable(Text2->text());
}

// A run is done whole or not at all: the store, the records and the desktop files
// come back as they were when any step fails.
KVNset::RunOutcome KVNset::finishRun(const ClassesRoot& store, RunJournal& journal) {
  journal.keep(env_.classesStore);
  if (!store.keys().empty()) journal.makeDirs(env_.classesStore.parent_path());
  DesktopOutcome desktop;
  const bool written = recordsWritten_ && store.save(env_.classesStore);
  if (written && env_.followStore) desktop = env_.followStore(store, journal);
  if (written && desktop.written) return {false, desktop.notUsed};
  journal.undo();
  return {true, {}};
}

void KVNset::regkanrenduke() {
  RunJournal journal;
  journal.keep(env_.settingsFile);
  recordsWritten_ = true;
  ClassesRoot store = ClassesRoot::load(env_.classesStore);
  std::array<std::string, kEntryCount> iconFileNames;
  for (int e = 0; e < kEntryCount; ++e) {
    std::string ext = extensionText(e);
    iconFileNames[e] = ext + ".ico";
    extKeyNames_[e] = "." + ext;
    fileTypeNames_[e] = ext + "file";
  }
  const std::string program = Text1->text().toStdString();
  for (int e = 0; e < kEntryCount; ++e) {
    currentEntry_ = short(e);
    registered_ = 0;
    if (kanren1[e]->isChecked() && entryHasNoExtension(e)) continue;  // its record keeps what it said
    if (kanren1[e]->isChecked()) {
      const std::string iconPath = (env_.toolDir / "icon" / iconFileNames[e]).string();
      const std::string command = "\"" + program + "\" \"%1\"";
      const std::string& type = fileTypeNames_[e];
      store.setDefaultValue(extKeyNames_[e], type);
      store.createKey(type);
      store.setDefaultValue(type + "\\DefaultIcon", iconPath);
      store.setDefaultValue(type + "\\Shell", "Open");
      store.setDefaultValue(type + "\\Shell\\Open", "Open");
      store.setDefaultValue(type + "\\Shell\\Open\\Command", command);
      registered_ = 1;
    }
    iniKanrenWrite(registered_);
  }
  outcome_ = finishRun(store, journal);
}

void KVNset::regdelkanrenduke() {
  RunJournal journal;
  journal.keep(env_.settingsFile);
  recordsWritten_ = true;
  ClassesRoot store = ClassesRoot::load(env_.classesStore);
  for (int e = 0; e < kEntryCount; ++e) {
    std::string ext = extensionText(e);
    extKeyNames_[e] = "." + ext;
    fileTypeNames_[e] = ext + "file";
  }
  for (int e = 0; e < kEntryCount; ++e) {
    currentEntry_ = short(e);
    if (!kanren1[e]->isChecked() || entryHasNoExtension(e)) continue;
    store.deleteTree(extKeyNames_[e]);
    store.deleteTree(fileTypeNames_[e]);
    iniKanrenkaijyoWrite(currentEntry_);
  }
  outcome_ = finishRun(store, journal);
}

}  // namespace korvane::tool
