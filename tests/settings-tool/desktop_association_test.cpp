// SPDX-License-Identifier: MIT
// The desktop follows the store: the real freedesktop tools on scratch XDG trees with the
// system's MIME database, opening files with stand-ins that record what they were given.
#include "ToolTestSupport.h"

#include "settings-tool/DesktopAssociations.h"
#include "settings-tool/ToolPaths.h"

#include <QProcess>
#include <map>
#include <thread>

namespace korvane::tool {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;

const QString kRegistered = QStringLiteral("関連付け設定しました");

std::string run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000)) p.kill();
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
}

// Every file, folder and link under `root` with its bytes: two equal trees are equal
// byte for byte.
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), root).string();
    if (it->is_symlink()) out[name] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory()) out[name] = "<dir>";
    else out[name] = slurp(it->path());
  }
  return out;
}

class DesktopFollowsStore : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    // The system's MIME database, installed programs of our own making only, gio's cache
    // elsewhere than ours, and a data folder with a blank in its name.
    for (auto [name, value] : {std::pair{"HOME", home}, {"XDG_CONFIG_HOME", home / ".config"},
                               {"XDG_DATA_HOME", home / "my data"},
                               {"XDG_CONFIG_DIRS", scratch / "etc"}, {"XDG_CACHE_HOME", scratch / "cache"},
                               {"XDG_DATA_DIRS", scratch / "system"}, {"KORVANE_RECORD", recorded()}})
      ::setenv(name, value.c_str(), 1);
    fs::create_directories(scratch / "system/applications");
    fs::create_directory_symlink("/usr/share/mime", scratch / "system/mime");
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::setenv("GIO_USE_VFS", "local", 1);
    // xdg-open only asks the MIME defaults when it believes there is a display.
    if (!std::getenv("DISPLAY")) ::setenv("DISPLAY", ":9999", 1);
    fs::create_directories(home);

    // The standard player beside the tool, on a path that no shell, quoting rule or
    // field code may bend, and another opener; both record their arguments.
    toolDir = scratch / R"(My "Players" $HOME `x` a\b 100%)";
    for (const fs::path& p : {toolDir / "KorvaneRP3LX", scratch / "bin/opener"}) {
      spit(p, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KORVANE_RECORD.part\"\nmv \"$KORVANE_RECORD.part\" \"$KORVANE_RECORD\"\n");
      fs::permissions(p, fs::perms::owner_all);
    }
    fs::copy(KORVANE_BIN_DIR "/icon", toolDir / "icon");  // the icons the programs ship with
    // The user's editor and another player, installed system-wide.
    installed("editor", "text/plain;");
    installed("other-player", "video/mpeg;audio/mpeg;video/x-msvideo;");
  }
  KVNsetEnvironment environment() override {
    KVNsetEnvironment env = ToolTest::environment();
    env.classesStore = classesStorePath();
    env.followStore = [](const ClassesRoot& s, RunJournal& j) {
      return followStoreOnDesktop(s, desktopFolders(), j);
    };
    return env;
  }
  void installed(const std::string& name, const std::string& types) {
    spit(scratch / "system/applications" / (name + ".desktop"),
             "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + (scratch / "bin/opener").string() + " " +
                 name + " %f\nMimeType=" + types + "\n");
  }
  fs::path recorded() const { return scratch / "opened.txt"; }
  fs::path mimeApps() const { return home / ".config/mimeapps.list"; }
  std::map<std::string, std::string> trees() const { return tree(home); }

  // Opens `file` with `opener` and returns what the stand-in program was given: the
  // player gives the path, another program its name and the path.
  std::string openWith(QStringList opener, const fs::path& file) {
    fs::remove(recorded());
    const QString program = opener.takeFirst();
    run(program, opener << QString::fromStdString(file.string()));
    for (int i = 0; i < 200 && !fs::exists(recorded()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return slurp(recorded());
  }
  std::string opened(const char* name) {
    const fs::path file = scratch / "files" / name;
    if (!fs::exists(file)) spit(file, "some text\n");
    return openWith({"gio", "open"}, file);
  }
  std::string player(const char* name) const { return (scratch / "files" / name).string() + "\n"; }
  std::string other(const char* program, const char* name) const {
    return program + ("\n" + (scratch / "files" / name).string()) + "\n";
  }
  std::string defaultFor(const char* mime) { return run("xdg-mime", {"query", "default", mime}); }

  fs::path home = scratch / "home";
};

// A tick takes its extension alone; an alias default and an outranking desktop list
// of the user's do not keep the desktop from using ours; removal takes back all of it.
TEST_F(DesktopFollowsStore, TicksOpenTheirExtensionsOnlyWithThePlayerAndRemovalLeavesTheTreesAsBefore) {
  ::setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
  // Kept elsewhere and linked in, as dotfile managers do; it must stay a link.
  spit(home / "dotfiles/mimeapps.list",
           "# mine\n[Default Applications]\ntext/plain=editor.desktop\naudio/mp3=other-player.desktop\n");
  fs::create_directories(mimeApps().parent_path());
  fs::create_symlink(home / "dotfiles/mimeapps.list", mimeApps());
  spit(home / ".config/gnome-mimeapps.list",
           "[Default Applications]\nvideo/mpeg=other-player.desktop;\n"
           "application/x-korvane-rp3-mp3=other-player.desktop\n");
  const auto before = trees();

  auto w = open();
  for (int e : {4, 5, 11}) w->kanren1[e]->setChecked(true);  // mp3, mpg, own
  w->Text2->setText(QStringLiteral("txt"));
  w->Command3->click();
  EXPECT_EQ(messages.back().first, kRegistered);
  for (const char* f : {"a.mpg", "b.MP3", "c.txt", "d.TXT"}) EXPECT_EQ(opened(f), player(f)) << f;
  for (const char* f : {"e.py", "f.md", "g.json", "h.csv"}) EXPECT_EQ(opened(f), other("editor", f)) << f;
  for (const char* f : {"i.mpeg", "j.vob"}) EXPECT_EQ(opened(f), other("other-player", f)) << f;
  EXPECT_EQ(defaultFor("application/x-korvane-rp3-mpg"), "korvane-rp3-mpgfile.desktop");

  w->Command4->click();
  EXPECT_EQ(trees(), before);
}

// On a desktop xdg-open does not know, it and gio both find the player through the program
// path only our launcher carries, which gets the file's path whole; removal in an empty home
// leaves nothing; a default the user set by hand between our runs is theirs again after removal.
TEST_F(DesktopFollowsStore, LauncherServesXdgOpenAndRemovalGivesBackTheEmptyHomeAndAHandSetDefault) {
  auto w = open();
  w->kanren1[0]->setChecked(true);  // avi
  w->Command3->click();
  const char* odd = "my clip's $1 \"take\".avi";
  EXPECT_EQ(opened(odd), player(odd));
  EXPECT_EQ(openWith({"xdg-open"}, scratch / "files" / odd), player(odd));
  w->Command4->click();
  EXPECT_EQ(trees(), (std::map<std::string, std::string>{}));

  w->Command3->click();
  run("xdg-mime", {"default", "other-player.desktop", "application/x-korvane-rp3-avi"});
  EXPECT_EQ(opened("a.avi"), other("other-player", "a.avi"));
  const std::string handSet = slurp(mimeApps());
  w->Command3->click();
  EXPECT_EQ(opened("a.avi"), player("a.avi"));
  w->Command4->click();
  EXPECT_EQ(trees(), (std::map<std::string, std::string>{{".config", "<dir>"}, {".config/mimeapps.list", handSet}}));
}

}  // namespace
}  // namespace korvane::tool
