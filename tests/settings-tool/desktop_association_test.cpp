// SPDX-License-Identifier: MIT
// The desktop follows the store: checked with the real tools (xdg-mime, gio, xdg-open)
// on scratch XDG folders, opening real files with a stand-in program that records
// its arguments.
#include "ToolTestSupport.h"

#include "settings-tool/DesktopAssociations.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace korvane::tool {
namespace {

namespace fs = std::filesystem;
using testing::readAll;
using testing::writeAll;

std::string run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000)) p.kill();
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
}

class DesktopFollowsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensureApp();
    useDataHome("data");
    ::setenv("XDG_CONFIG_HOME", (t.scratch / "config").c_str(), 1);
    for (const char* v : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"}) ::unsetenv(v);
    ::setenv("GIO_USE_VFS", "local", 1);
    // xdg-open only asks the MIME defaults when it believes there is a display.
    if (!std::getenv("DISPLAY")) ::setenv("DISPLAY", ":9999", 1);
    ::setenv("KORVANE_RECORD", record().c_str(), 1);
    fs::create_directories(t.scratch / "config");

    // A program path that no shell, quoting rule or field code may bend.
    program = t.scratch / R"(My "Players" $HOME `x` a\b 100%)" / "KorvaneRP3LX";
    writeAll(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$KORVANE_RECORD.part\"\n"
                      "mv \"$KORVANE_RECORD.part\" \"$KORVANE_RECORD\"\n");
    fs::permissions(program, fs::perms::owner_all);
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    fs::create_directories(t.toolDir() / "icon");
    icon.save(QString::fromStdString((t.toolDir() / "icon/avi.ico").string()), "ICO");
  }

  void useDataHome(const std::string& name) {
    data = t.scratch / name;
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  }

  std::unique_ptr<KVNset> open() {
    KVNsetEnvironment env = t.environment();
    env.followStore = [](const ClassesRoot& s) { followStoreOnDesktop(s, desktopFolders()); };
    auto w = std::make_unique<KVNset>(env);
    w->Form_Load();
    w->Text1->setText(QString::fromStdString(program.string()));
    return w;
  }

  fs::path record() const { return t.scratch / "opened.txt"; }
  fs::path mimeApps() const { return t.scratch / "config/mimeapps.list"; }

  // Opens `file` with `opener` and returns what the stand-in program was given.
  std::string openWith(const QString& opener, const fs::path& file) {
    fs::remove(record());
    QStringList args{QString::fromStdString(file.string())};
    if (opener == "gio") args.prepend(QStringLiteral("open"));
    run(opener, args);
    for (int i = 0; i < 200 && !fs::exists(record()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return readAll(record());
  }
  std::string defaultFor(const char* mime) { return run("xdg-mime", {"query", "default", mime}); }
  std::string contentType(const fs::path& f) {
    return run("gio", {"info", "-a", "standard::content-type", QString::fromStdString(f.string())});
  }

  testing::ToolFixtureState t;
  fs::path program, data;
};

TEST_F(DesktopFollowsStore, KnownTypeOpensWithOurProgramAndRemovalGivesDefaultBack) {
  writeAll(data / "applications/other-player.desktop",
           "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=video/x-msvideo;\n");
  const std::string before =
      "# the user's own\n[Default Applications]\nvideo/x-msvideo=other-player.desktop\n"
      "text/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=other-player.desktop;\n";
  // Kept elsewhere and linked in, as dotfile managers do; it must stay a link.
  writeAll(t.scratch / "dotfiles/mimeapps.list", before);
  fs::create_symlink(t.scratch / "dotfiles/mimeapps.list", mimeApps());
  ASSERT_EQ(defaultFor("video/x-msvideo"), "other-player.desktop");

  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();

  const std::string id = "korvane-rp3-avifile.desktop";
  EXPECT_EQ(defaultFor("video/x-msvideo"), id);
  std::string gioMime = run("gio", {"mime", "video/x-msvideo"});
  EXPECT_LT(gioMime.find(id), gioMime.find("Registered")) << gioMime;
  const fs::path clip = t.scratch / "clips/my clip's $1 \"take\".avi";
  writeAll(clip, "RIFF");
  EXPECT_EQ(openWith("gio", clip), clip.string() + "\n");
  EXPECT_EQ(openWith("xdg-open", clip), clip.string() + "\n");

  const std::string entry = readAll(data / "applications" / id);
  EXPECT_NE(entry.find("MimeType=video/x-msvideo;\n"), std::string::npos) << entry;
  size_t iconAt = entry.find("Icon=");
  ASSERT_NE(iconAt, std::string::npos) << entry;
  const std::string iconFile = entry.substr(iconAt + 5, entry.find('\n', iconAt) - iconAt - 5);
  EXPECT_FALSE(QImage(QString::fromStdString(iconFile)).isNull()) << iconFile;

  const std::string registered = readAll(mimeApps());
  EXPECT_EQ(registered, "# the user's own\n[Default Applications]\nvideo/x-msvideo=" + id +
                            "\ntext/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=" + id +
                            ";other-player.desktop;\n");
  w->Command3->click();
  EXPECT_EQ(readAll(mimeApps()), registered);

  w->Command4->click();
  EXPECT_EQ(readAll(mimeApps()), before);
  EXPECT_TRUE(fs::is_symlink(mimeApps()));
  EXPECT_EQ(defaultFor("video/x-msvideo"), "other-player.desktop");
  EXPECT_FALSE(fs::exists(data / "applications" / id));
  EXPECT_FALSE(fs::exists(data / "korvane-rp3/desktop.json"));
  EXPECT_FALSE(fs::exists(iconFile));
}

TEST_F(DesktopFollowsStore, UnknownExtensionGetsATypeOfOursUntilRemoved) {
  useDataHome("my data");  // the launcher's own path now needs Exec quoting
  const char* mime = "application/x-korvane-rp3-korvanetestext";
  const fs::path file = t.scratch / "clips/a b.korvanetestext";
  writeAll(file, "whatever");
  ASSERT_EQ(contentType(file).find(mime), std::string::npos);

  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->Text2->setText(QStringLiteral("korvanetestext"));
  w->Command3->click();
  EXPECT_NE(contentType(file).find(mime), std::string::npos);
  // xdg-mime itself cannot search a data folder with a blank in its name; gio can.
  EXPECT_NE(run("gio", {"mime", mime}).find("korvane-rp3-korvanetestextfile.desktop"), std::string::npos);
  EXPECT_EQ(openWith("gio", file), file.string() + "\n");

  w->Command4->click();
  EXPECT_FALSE(fs::exists(data / "mime/packages/korvane-rp3.xml"));
  EXPECT_EQ(contentType(file).find(mime), std::string::npos);
  EXPECT_FALSE(fs::exists(mimeApps()));  // there was none before
}

TEST_F(DesktopFollowsStore, PlainProgramGoesStraightIntoExecAndNoCommandIsNoEntry) {
  ClassesRoot store;
  store.setDefaultValue(".avi", "AVIfile");
  store.setDefaultValue("AVIfile\\Shell\\Open\\Command", "\"/opt/korvane/KorvaneRP3LX\" \"%1\"");
  followStoreOnDesktop(store, desktopFolders());
  std::string entry = readAll(data / "applications/korvane-rp3-avifile.desktop");
  EXPECT_NE(entry.find("\nExec=/opt/korvane/KorvaneRP3LX %f\n"), std::string::npos) << entry;
  EXPECT_FALSE(fs::exists(data / "korvane-rp3/launchers"));

  store.deleteTree("AVIfile\\Shell");
  followStoreOnDesktop(store, desktopFolders());
  EXPECT_FALSE(fs::exists(data / "applications/korvane-rp3-avifile.desktop"));
  EXPECT_FALSE(fs::exists(mimeApps()));
}

}  // namespace
}  // namespace korvane::tool
