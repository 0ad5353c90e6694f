// SPDX-License-Identifier: MIT
// Scratch folders, an offscreen application and a recording environment for the
// settings tool's tests.
#pragma once

#include "settings-tool/KVNset.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace korvane::tool::testing {

inline void ensureApp() {
  if (QApplication::instance()) return;
  // The settings window draws no OpenGL, so it runs without a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "settings-tool-tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvane-tool-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeAll(const std::filesystem::path& file, const std::string& data) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << data;
}

struct Message {
  QString text;
  QMessageBox::Icon icon;
  bool operator==(const Message& o) const { return text == o.text && icon == o.icon; }
};

// The tool in scratch folders: the tool folder, kvnset.ini in it, the store
// beside, messages recorded, the desktop follow-up counted.
struct ToolFixtureState {
  ScratchDir scratch;
  std::vector<Message> messages;
  int storeFollowed = 0;
  bool otherInstance = false;

  std::filesystem::path toolDir() const { return scratch / "tool"; }
  std::filesystem::path ini() const { return toolDir() / "kvnset.ini"; }
  std::filesystem::path store() const { return scratch / "data/korvane-rp3/classes.reg"; }

  KVNsetEnvironment environment() {
    std::filesystem::create_directories(toolDir());
    KVNsetEnvironment env;
    env.toolDir = toolDir();
    env.settingsFile = ini();
    env.classesStore = store();
    env.anotherInstance = [this] { return otherInstance; };
    env.message = [this](const QString& text, QMessageBox::Icon icon) {
      messages.push_back({text, icon});
    };
    env.followStore = [this](const ClassesRoot&) { ++storeFollowed; };
    return env;
  }
};

}  // namespace korvane::tool::testing
