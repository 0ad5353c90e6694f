// SPDX-License-Identifier: MIT
// KVNset, the settings tool's only window: the seven option flags, and the file
// associations of the twelve extension entries with their records.
#pragma once

#include "ClassesRoot.h"
#include "DesktopAssociations.h"
#include "RunJournal.h"

#include <QDialog>
#include <QMessageBox>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvane::tool {

inline const QString kToolCaption = QStringLiteral("Korvane RP 3 設定ツール");

// What the window takes from outside; tests put scratch folders and recorders here.
struct KVNsetEnvironment {
  std::filesystem::path toolDir;       // gives Text1's default and the icon paths
  std::filesystem::path settingsFile;  // kvnset.ini
  std::filesystem::path classesStore;  // classes.reg
  // True when another settings tool is already running.
  std::function<bool()> anotherInstance;
  // A message box titled kToolCaption with one OK button; returns when it is closed.
  std::function<void(const QString& text, QMessageBox::Icon icon)> message;
  // Brings the desktop's associations in line with the store after a run; every
  // file it touches goes through the run's journal.
  std::function<DesktopOutcome(const ClassesRoot& store, RunJournal& journal)> followStore;
};

// The environment of the installed tool: the folder of the running program, its
// settings file, the per-user store, real message boxes and the desktop follow-up.
KVNsetEnvironment defaultEnvironment();

class KVNset : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kOptionCount = 7;
  static constexpr int kEntryCount = 12;
  static constexpr int kOwnEntry = 11;

  explicit KVNset(KVNsetEnvironment env, QWidget* parent = nullptr);

  // The load steps; false when the tool must end at once (another instance).
  bool Form_Load();

  // The controls, by their form names; tests drive them directly.
  std::array<QCheckBox*, kOptionCount> Check{};
  std::array<QCheckBox*, kEntryCount> kanren1{};
  QLabel* Label3 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QPushButton* Command1 = nullptr;  // 設定
  QPushButton* Command2 = nullptr;  // 閉じる
  QPushButton* Command3 = nullptr;  // 関連設定
  QPushButton* Command4 = nullptr;  // 関連解除
  QPushButton* Command5 = nullptr;  // ...

 public slots:
  void Check_Click(int index);
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();

 private:
  void iniRead();
  void iniCheckWrite();
  void iniRead4();
  void regkanrenduke();
  void regdelkanrenduke();
  // What the last run came to; the buttons' messages say it.
  struct RunOutcome {
    bool failed = false;
    std::vector<std::string> notUsed;  // extension key names the desktop opens otherwise
  };
  void iniKanrenWrite(short& registered);
  void iniKanrenkaijyoWrite(short& entry);

  void buildControls();
  std::string extensionText(int entry) const;
  bool entryHasNoExtension(int entry) const;
  bool ownExtensionRefused() const;
  bool associationInputsAccepted();
  void end();
  RunOutcome finishRun(const ClassesRoot& store, RunJournal& journal);

  KVNsetEnvironment env_;

  std::array<std::string, kEntryCount> optionKeys_;
  std::array<int, kEntryCount> optionValues_{};
  std::array<std::string, kEntryCount> optionTexts_;

  std::array<std::string, kEntryCount> recordKeys_;
  std::array<int, kEntryCount> records_{};
  std::array<std::string, kEntryCount> extKeyNames_;
  std::array<std::string, kEntryCount> fileTypeNames_;
  short currentEntry_ = 0;
  short registered_ = 0;
  bool recordsWritten_ = true;
  RunOutcome outcome_;
};

// Whether the own extension may name a key and be written whole: no "\", "/", "*",
// "?", "[", "]", blanks or control characters, and names the desktop can hold. The
// empty text is not refused here: its entry is skipped.
bool ownExtensionAcceptable(const QString& text);

}  // namespace korvane::tool
