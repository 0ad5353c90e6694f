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
  if (!p.waitForFinished(30000)) {
    p.kill();
    return "<timeout>";
  }
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
}

class DesktopFollowsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensureApp();
    ::setenv("XDG_DATA_HOME", (t.scratch / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (t.scratch / "config").c_str(), 1);
    ::unsetenv("XDG_DATA_DIRS");
    ::unsetenv("XDG_CONFIG_DIRS");
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::setenv("GIO_USE_VFS", "local", 1);
    // xdg-open only asks the MIME defaults when it believes there is a display.
    if (!std::getenv("DISPLAY")) ::setenv("DISPLAY", ":9999", 1);
    ::setenv("KORVANE_RECORD", record().c_str(), 1);
    fs::create_directories(t.scratch / "config");

    // A program path that no shell, quoting rule or field code may bend.
    program = t.scratch / R"(My "Players" $HOME `x` a\b 100%)" / "KorvaneRP3LX";
    writeAll(program,
             "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$KORVANE_RECORD.part\"\n"
             "mv \"$KORVANE_RECORD.part\" \"$KORVANE_RECORD\"\n");
    fs::permissions(program, fs::perms::owner_all);

    // The icons the associations point at.
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    fs::create_directories(t.toolDir() / "icon");
    for (const char* e : {"avi", "korvanetestext"})
      icon.save(QString::fromStdString((t.toolDir() / "icon" / (std::string(e) + ".ico")).string()), "ICO");
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
    for (int i = 0; i < 200 && !fs::exists(record()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return readAll(record());
  }

  std::string defaultFor(const char* mime) { return run("xdg-mime", {"query", "default", mime}); }

  testing::ToolFixtureState t;
  fs::path program;
};

TEST_F(DesktopFollowsStore, KnownTypeOpensWithOurProgramAndRemovalGivesDefaultBack) {
  writeAll(t.scratch / "data/applications/other-player.desktop",
           "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=video/x-msvideo;\n");
  const std::string before =
      "# the user's own\n[Default Applications]\nvideo/x-msvideo=other-player.desktop\n"
      "text/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=other-player.desktop;\n";
  writeAll(mimeApps(), before);
  EXPECT_EQ(defaultFor("video/x-msvideo"), "other-player.desktop");

  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();

  const std::string id = "korvane-rp3-avifile.desktop";
  EXPECT_EQ(defaultFor("video/x-msvideo"), id);
  std::string gioMime = run("gio", {"mime", "video/x-msvideo"});
  EXPECT_NE(gioMime.find(id), std::string::npos) << gioMime;
  EXPECT_LT(gioMime.find(id), gioMime.find("Registered")) << gioMime;

  const fs::path clip = t.scratch / "clips/my clip's $1 \"take\".avi";
  writeAll(clip, "RIFF");
  EXPECT_EQ(openWith("gio", clip), clip.string() + "\n");
  EXPECT_EQ(openWith("xdg-open", clip), clip.string() + "\n");

  const std::string entry = readAll(t.scratch / "data/applications" / id);
  EXPECT_NE(entry.find("MimeType=video/x-msvideo;\n"), std::string::npos) << entry;
  size_t iconAt = entry.find("Icon=");
  ASSERT_NE(iconAt, std::string::npos) << entry;
  std::string iconFile = entry.substr(iconAt + 5, entry.find('\n', iconAt) - iconAt - 5);
  EXPECT_FALSE(QImage(QString::fromStdString(iconFile)).isNull()) << iconFile;
  // Other lines of the user's list stay as they were.
  EXPECT_NE(readAll(mimeApps()).find("text/plain=gedit.desktop\n"), std::string::npos);

  // Registering again changes nothing more.
  const std::string registered = readAll(mimeApps());
  EXPECT_EQ(registered,
            "# the user's own\n[Default Applications]\nvideo/x-msvideo=" + id +
                "\ntext/plain=gedit.desktop\n\n[Added Associations]\nvideo/x-msvideo=" + id +
                ";other-player.desktop;\n");
  w->Command3->click();
  EXPECT_EQ(readAll(mimeApps()), registered);

  w->Command4->click();
  EXPECT_EQ(readAll(mimeApps()), before);
  EXPECT_EQ(defaultFor("video/x-msvideo"), "other-player.desktop");
  EXPECT_FALSE(fs::exists(t.scratch / "data/applications" / id));
  EXPECT_FALSE(fs::exists(iconFile));
  EXPECT_FALSE(fs::exists(t.scratch / "data/korvane-rp3/desktop.json"));
}

TEST_F(DesktopFollowsStore, UnknownExtensionGetsATypeOfOursUntilRemoved) {
  const char* mime = "application/x-korvane-rp3-korvanetestext";
  const fs::path file = t.scratch / "clips/a b.korvanetestext";
  writeAll(file, "whatever");
  ASSERT_EQ(run("gio", {"info", "-a", "standard::content-type", QString::fromStdString(file.string())})
                .find(mime),
            std::string::npos);

  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->Text2->setText(QStringLiteral("korvanetestext"));
  w->Command3->click();

  EXPECT_TRUE(fs::exists(t.scratch / "data/mime/packages/korvane-rp3.xml"));
  std::string info = run("gio", {"info", "-a", "standard::content-type", QString::fromStdString(file.string())});
  EXPECT_NE(info.find(mime), std::string::npos) << info;
  EXPECT_EQ(defaultFor(mime), "korvane-rp3-korvanetestextfile.desktop");
  EXPECT_EQ(openWith("gio", file), file.string() + "\n");

  w->Command4->click();
  EXPECT_FALSE(fs::exists(t.scratch / "data/mime/packages/korvane-rp3.xml"));
  info = run("gio", {"info", "-a", "standard::content-type", QString::fromStdString(file.string())});
  EXPECT_EQ(info.find(mime), std::string::npos) << info;
  // There was no list before, so there is none after.
  EXPECT_FALSE(fs::exists(mimeApps()));
  EXPECT_EQ(defaultFor(mime), "");
}

TEST_F(DesktopFollowsStore, PlainProgramPathGoesStraightIntoExec) {
  ClassesRoot store;
  store.setDefaultValue(".avi", "AVIfile");
  store.setDefaultValue("AVIfile\\Shell\\Open\\Command", "\"/opt/korvane/KorvaneRP3LX\" \"%1\"");
  followStoreOnDesktop(store, desktopFolders());
  std::string entry = readAll(t.scratch / "data/applications/korvane-rp3-avifile.desktop");
  EXPECT_NE(entry.find("\nExec=/opt/korvane/KorvaneRP3LX %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nName=KorvaneRP3LX\n"), std::string::npos) << entry;
  EXPECT_EQ(entry.find("Icon="), std::string::npos);  // no DefaultIcon, no icon
  EXPECT_FALSE(fs::exists(t.scratch / "data/korvane-rp3/launchers"));

  // An extension key without a command is no association.
  store.deleteTree("AVIfile\\Shell");
  followStoreOnDesktop(store, desktopFolders());
  EXPECT_FALSE(fs::exists(t.scratch / "data/applications/korvane-rp3-avifile.desktop"));
  EXPECT_FALSE(fs::exists(mimeApps()));
}

TEST(DesktopExec, ArgumentsAreQuotedByTheDesktopEntryRules) {
  EXPECT_EQ(execArgument("/usr/bin/mpv"), "/usr/bin/mpv");
  EXPECT_EQ(execArgument(R"(/a b/"c"/$d/`e`/\f/100%)"), R"("/a b/\"c\"/\$d/\`e\`/\\f/100%%")");
  EXPECT_EQ(desktopString("a\\b\nc"), "a\\\\b\\nc");
  EXPECT_EQ(shellQuoted("it's"), R"('it'\''s')");
  EXPECT_FALSE(plainWord("a b"));
  EXPECT_FALSE(plainWord(""));
  EXPECT_TRUE(plainWord("/opt/korvane-rp3/KorvaneRP3LX"));
}

TEST(DesktopExec, CommandLinesSplitBackIntoArguments) {
  using V = std::vector<std::string>;
  EXPECT_EQ(commandArguments(R"("/x/My "P" a\b" "%1")"), (V{R"(/x/My "P" a\b)", "%1"}));
  EXPECT_EQ(commandArguments(R"(other.exe /play "%1")"), (V{"other.exe", "/play", "%1"}));
  EXPECT_EQ(commandArguments(R"("C:\Program Files\p.exe"  -x)"), (V{R"(C:\Program Files\p.exe)", "-x"}));
  EXPECT_EQ(desktopIdFor("avifile"), "korvane-rp3-avifile.desktop");
  EXPECT_EQ(desktopIdFor(".XYZ_file"), "korvane-rp3-_2exyz_5ffile.desktop");
}

}  // namespace
}  // namespace korvane::tool
