// SPDX-License-Identifier: MIT
// The desktop follows the store: checked with the real tools (xdg-mime, gio, xdg-open)
// on scratch XDG folders, opening real files with a stand-in program that records
// its arguments.
#include "ToolTestSupport.h"

#include "settings-tool/DesktopAssociations.h"

#include <QImage>
#include <QProcess>
#include <thread>

namespace korvane::tool {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::writeAll;

std::string run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000)) p.kill();
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
}

class DesktopFollowsStore : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    for (const char* v : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"}) ::unsetenv(v);
    ::setenv("GIO_USE_VFS", "local", 1);
    // xdg-open only asks the MIME defaults when it believes there is a display.
    if (!std::getenv("DISPLAY")) ::setenv("DISPLAY", ":9999", 1);
    ::setenv("KORVANE_RECORD", recorded().c_str(), 1);
    fs::create_directories(scratch / "config");

    // The standard player beside the tool, on a path that no shell, quoting rule or
    // field code may bend; it records its arguments.
    toolDir = scratch / R"(My "Players" $HOME `x` a\b 100%)";
    writeAll(toolDir / "KorvaneRP3LX", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KORVANE_RECORD.part\"\n"
                                       "mv \"$KORVANE_RECORD.part\" \"$KORVANE_RECORD\"\n");
    fs::permissions(toolDir / "KorvaneRP3LX", fs::perms::owner_all);
    fs::copy(KORVANE_BIN_DIR "/icon", toolDir / "icon");  // the icons the programs ship with
  }
  KVNsetEnvironment environment() override {
    KVNsetEnvironment env = ToolTest::environment();
    env.followStore = [](const ClassesRoot& s) { followStoreOnDesktop(s, desktopFolders()); };
    return env;
  }
  fs::path recorded() const { return scratch / "opened.txt"; }
  fs::path mimeApps() const { return scratch / "config/mimeapps.list"; }

  // Opens `file` with `opener` and returns what the stand-in program was given.
  std::string openWith(QStringList opener, const fs::path& file) {
    fs::remove(recorded());
    const QString program = opener.takeFirst();
    run(program, opener << QString::fromStdString(file.string()));
    for (int i = 0; i < 200 && !fs::exists(recorded()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return slurp(recorded());
  }
  std::string defaultFor(const char* mime) { return run("xdg-mime", {"query", "default", mime}); }
  std::string contentType(const fs::path& f) {
    return run("gio", {"info", "-a", "standard::content-type", QString::fromStdString(f.string())});
  }

  fs::path data = scratch / "data";
};

TEST_F(DesktopFollowsStore, KnownTypeOpensWithOurProgramAndRemovalGivesDefaultBack) {
  writeAll(data / "applications/other-player.desktop",
           "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=video/x-msvideo;\n");
  const std::string before =
      "# the user's own\n[Default Applications]\nvideo/x-msvideo=other-player.desktop\n"
      "text/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=other-player.desktop;\n";
  // Kept elsewhere and linked in, as dotfile managers do; it must stay a link.
  writeAll(scratch / "dotfiles/mimeapps.list", before);
  fs::create_symlink(scratch / "dotfiles/mimeapps.list", mimeApps());

  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  const std::string id = "korvane-rp3-avifile.desktop";
  EXPECT_EQ(defaultFor("video/x-msvideo"), id);
  std::string gioMime = run("gio", {"mime", "video/x-msvideo"});
  EXPECT_LT(gioMime.find(id), gioMime.find("Registered")) << gioMime;
  const fs::path clip = scratch / "clips/my clip's $1 \"take\".avi";
  writeAll(clip, "RIFF");
  EXPECT_EQ(openWith({"gio", "open"}, clip), clip.string() + "\n");
  EXPECT_EQ(openWith({"xdg-open"}, clip), clip.string() + "\n");
  // The file type's icon, as a picture the desktop can show.
  const std::string entry = slurp(data / "applications" / id);
  const size_t iconAt = entry.find("\nIcon=") + 6;
  const std::string iconFile = entry.substr(iconAt, entry.find('\n', iconAt) - iconAt);
  EXPECT_FALSE(QImage(QString::fromStdString(iconFile)).isNull()) << entry;

  EXPECT_EQ(slurp(mimeApps()), "# the user's own\n[Default Applications]\nvideo/x-msvideo=" + id +
                                   "\ntext/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=" + id +
                                   ";other-player.desktop;\n");
  w->Command3->click();  // our own entry is not taken for the default to give back

  w->Command4->click();
  EXPECT_EQ(slurp(mimeApps()), before);
  EXPECT_TRUE(fs::is_symlink(mimeApps()));
  EXPECT_EQ(defaultFor("video/x-msvideo"), "other-player.desktop");
  EXPECT_FALSE(fs::exists(data / "applications" / id));
  EXPECT_FALSE(fs::exists(iconFile));
}

TEST_F(DesktopFollowsStore, UnknownExtensionGetsATypeOfOursUntilRemoved) {
  data = scratch / "my data";  // the launcher's own path now needs Exec quoting
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  const char* mime = "application/x-korvane-rp3-korvanetestext";
  const fs::path file = scratch / "clips/a b.korvanetestext";
  writeAll(file, "whatever");

  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->Text2->setText(QStringLiteral("korvanetestext"));
  w->Command3->click();
  EXPECT_NE(contentType(file).find(mime), std::string::npos);
  EXPECT_EQ(openWith({"gio", "open"}, file), file.string() + "\n");

  w->Command4->click();  // the type goes from the MIME database with our package
  EXPECT_EQ(contentType(file).find(mime), std::string::npos);
  EXPECT_FALSE(fs::exists(mimeApps()));  // there was none before
}

}  // namespace
}  // namespace korvane::tool
