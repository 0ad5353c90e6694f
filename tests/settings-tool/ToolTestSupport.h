// SPDX-License-Identifier: MIT
// Scratch folders, an offscreen application and a recording environment for the
// settings tool's tests.
#pragma once

#include "settings-tool/KVNset.h"

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::tool::testing {

inline void ensureApp() {
  if (QApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");  // the settings window draws no OpenGL
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
  ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string readAll(const std::filesystem::path& file) {
  std::ostringstream s;
  s << std::ifstream(file, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeAll(const std::filesystem::path& file, const std::string& data) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << data;
}

struct Message {
  QString text;
  QMessageBox::Icon icon;
  bool operator==(const Message&) const = default;
};

// The tool in a scratch folder with kvnset.ini in it and the store beside;
// messages are recorded and the desktop follow-up only counted.
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
    return {toolDir(), ini(), store(), [this] { return otherInstance; },
            [this](const QString& text, QMessageBox::Icon icon) { messages.push_back({text, icon}); },
            [this](const ClassesRoot&) { ++storeFollowed; }};
  }
};

}  // namespace korvane::tool::testing
