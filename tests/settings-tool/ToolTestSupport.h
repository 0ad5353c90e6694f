// SPDX-License-Identifier: MIT
// The settings window offscreen on a scratch folder, with its messages recorded.
#pragma once

#include "settings-tool/KVNset.h"
#include "settings/ProfileFile.h"
#include "tests/fakes/Files.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <vector>

namespace korvane::tool::testing {

using fakes::slurp;
using fakes::spit;
using Message = std::pair<QString, QMessageBox::Icon>;

inline void ensureApp() {
  if (QApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");  // the settings window draws no OpenGL
  static int argc = 1;
  static char* argv[] = {const_cast<char*>("settings-tool-tests"), nullptr};
  new QApplication(argc, argv);
}

// The tool in a scratch folder with kvnset.ini in it and the store beside; messages
// are recorded and the desktop is left alone.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override { ensureApp(); }
  void TearDown() override { std::filesystem::remove_all(scratch); }
  virtual KVNsetEnvironment environment() {
    std::filesystem::create_directories(toolDir);
    return {toolDir, ini(), storeFile(), [this] { return otherInstance; },
            [this](const QString& text, QMessageBox::Icon icon) { messages.emplace_back(text, icon); }, {}};
  }
  std::unique_ptr<KVNset> open() {
    auto w = std::make_unique<KVNset>(environment());
    loaded = w->Form_Load();
    return w;
  }
  std::filesystem::path ini() const { return toolDir / "kvnset.ini"; }
  std::filesystem::path storeFile() const { return scratch / "data/korvane-rp3/classes.reg"; }
  ClassesRoot stored() const { return ClassesRoot::load(storeFile()); }
  std::string record(const char* key) const {
    return settings::profileString("KeepConnect", key, "<none>", ini());
  }
  static std::vector<bool> ticks(const auto& boxes) {
    std::vector<bool> out;
    for (QCheckBox* c : boxes) out.push_back(c->isChecked());
    return out;
  }

  std::string scratchName = (std::filesystem::temp_directory_path() / "korvane-tool-XXXXXX").string();
  const std::filesystem::path scratch{::mkdtemp(scratchName.data())};
  std::filesystem::path toolDir = scratch / "tool";
  std::vector<Message> messages;
  bool otherInstance = false, loaded = false;
};

}  // namespace korvane::tool::testing
