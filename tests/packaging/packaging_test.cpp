// SPDX-License-Identifier: MIT
// The install tree (`cmake --install` into a scratch root with prefix /usr), the Debian
// package CPack builds from it, and the installed programs as an unprivileged user meets
// them: a fresh scratch install, or with KORVANE_INSTALLED_ROOT=/ the package on the machine.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <unistd.h>

using namespace korvane;
using namespace korvane::e2e;

namespace {

const QStringList kPlayers{"KorvaneRP3LXZELTA", "KorvaneRP3LX", "KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
const QStringList kPrograms = kPlayers + QStringList{"KorvaneRP3set"};
const QStringList kFileTypeIcons{"avi", "rm", "mov", "mid", "mp3", "mpg", "wav", "wma", "rv", "ra", "ram"};
const fs::path kUsr = fs::path(KORVANE_INSTALL_ROOT) / "usr";
const fs::path kProgramDir = kUsr / KORVANE_PROGRAM_DIR;

struct Output {
  int exitCode = -1;
  QString text;  // standard output and error together
};

// A tool that did not finish is killed as `p` goes.
Output runTool(const QString& program, const QStringList& args, int timeoutMs = 60000) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) return {-1, program + " did not finish"};
  return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

// Every file and link below `root` as "/usr/..." (directories left out).
std::set<std::string> filesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory() || e.is_symlink()) files.insert("/" + e.path().lexically_relative(root).string());
  return files;
}

// A key of a desktop file's first group, [Desktop Entry] (the only one ours have).
QString desktopKey(const fs::path& file, const char* key) {
  QFile f(QString::fromStdString(file.string()));
  const QString text = QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
  return QRegularExpression(QString("^%1=(.*)$").arg(key), QRegularExpression::MultilineOption).match(text).captured(1);
}

}  // namespace

// Programs and their file-type icons side by side, nothing of the build's own (no settings
// file, no helper programs); relative links in bin, so that the tree works wherever it is
// unpacked (the installed programs start through them below).
TEST(InstallTree, ProgramsLieSideBySideWithTheirIconsAndRelativeLinks) {
  std::set<std::string> expected;
  for (const QString& ext : kFileTypeIcons) expected.insert("/icon/" + ext.toStdString() + ".ico");
  for (const QString& program : kPrograms) {
    expected.insert("/" + program.toStdString());
    EXPECT_TRUE(fs::read_symlink(kUsr / "bin" / program.toStdString()).is_relative()) << program.toStdString();
  }
  EXPECT_EQ(filesBelow(kProgramDir), expected);
}

TEST(InstallTree, DesktopEntriesPassTheValidatorAndStartTheProgramsWithCanonicalMediaTypes) {
  QMimeDatabase db;
  for (const QString& program : kPrograms) {
    const fs::path file = kUsr / "share/applications" / (program + ".desktop").toStdString();
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::is_regular_file(file));
    // The validator prints errors, warnings and hints alike; any of them fails.
    const Output check = runTool("desktop-file-validate", {QString::fromStdString(file.string())});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.text.trimmed(), "");
    const bool player = kPlayers.contains(program);
    EXPECT_EQ(desktopKey(file, "Exec"), player ? program + " %f" : program);
    // Canonical names only: an alias or an unknown name puts the players under nobody's "Open With".
    const QStringList types = desktopKey(file, "MimeType").split(';', Qt::SkipEmptyParts);
    EXPECT_EQ(types.size() >= 20, player) << types.size();
    for (const QString& type : types) EXPECT_EQ(db.mimeTypeForName(type).name(), type);
    for (const char* common : {"video/mp4", "video/x-matroska", "audio/mpeg", "audio/x-wav", "video/x-msvideo"})
      EXPECT_EQ(types.contains(common), player) << common;
  }
}

TEST(InstallTree, SoftwareCentresFindOneValidDescriptionNamingEveryProgram) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(kUsr / "share/metainfo")) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  // Offline: the validator would otherwise try the web addresses it finds.
  const Output check = runTool("appstreamcli", {"validate", "--no-net", QString::fromStdString(files[0].string())});
  EXPECT_EQ(check.exitCode, 0) << check.text.toStdString();
  QFile f(QString::fromStdString(files[0].string()));
  const QString xml = QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
  for (const QString& program : kPrograms) {
    EXPECT_TRUE(xml.contains("<launchable type=\"desktop-id\">" + program + ".desktop<")) << program.toStdString();
    EXPECT_TRUE(xml.contains("<binary>" + program + "<")) << program.toStdString();
  }
}


// The package CPack builds from the same install rules: what it is, what it needs at run
// time, and no lintian error (which also covers file owners, unstripped programs and the
// maintainer address).
TEST(Package, DeclaresWhatItNeedsAtRunTimeAndLintianFindsNoError) {
  QString deb;
  for (const auto& e : fs::directory_iterator(KORVANE_PACKAGE_DIR))
    if (e.path().extension() == ".deb") deb = QString::fromStdString(e.path().string());
  ASSERT_FALSE(deb.isEmpty()) << "no package in " KORVANE_PACKAGE_DIR;
  auto field = [&](const char* name) { return runTool("dpkg-deb", {"-f", deb, name}).text.trimmed(); };
  EXPECT_EQ(field("Package"), "korvane-rp3");
  EXPECT_EQ(field("Section"), "video");
  EXPECT_TRUE(deb.endsWith("korvane-rp3_" + field("Version") + "_" + runTool("dpkg", {"--print-architecture"}).text.trimmed() + ".deb"))
      << deb.toStdString();
  // Package names only: versions and alternatives aside.
  QStringList depends;
  for (const QString& d : field("Depends").split(',')) depends << d.trimmed().section(' ', 0, 0);
  // What the programs link (from dpkg-shlibdeps), Qt's Wayland plugin they load where
  // no X display exists, and the tool the settings tool runs.
  for (const char* needed : {"libmpv2", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6",
                             "libqt6dbus6", "libx11-6", "libxss1", "libxkbcommon0", "libxkbcommon-x11-0",
                             "libc6", "libstdc++6", "qt6-wayland", "shared-mime-info"})
    EXPECT_TRUE(depends.contains(needed)) << needed << " missing from " << field("Depends").toStdString();

  const Output lint = runTool("lintian", {"--no-cfg", "--tag-display-limit", "0", deb}, 170000);
  ASSERT_NE(lint.exitCode, -1) << lint.text.toStdString();
  EXPECT_EQ(lint.text.split('\n').filter(QRegularExpression("^E: ")).join('\n').toStdString(), "");
}

// Started through their links in bin as an unprivileged user (nobody: the suite runs as
// root), from a scratch install or with KORVANE_INSTALLED_ROOT=/ the package installed on
// the machine, they show the clip and keep their settings in the user's config folder when
// Esc ends them; key T starts the settings tool of the same install.
TEST(InstalledPrograms, EachStartsThroughItsLinkShowsTheClipKeepsItsSettingsInTheUsersFolderAndTStartsTheTool) {
  if (::geteuid() != 0) GTEST_SKIP() << "running the programs as another user needs root";
  constexpr uid_t kNobody = 65534;
  const QTemporaryDir scratchDir;
  const fs::path scratch = scratchDir.path().toStdString(), user = scratch / "user";
  fs::permissions(scratch, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const char* installed = std::getenv("KORVANE_INSTALLED_ROOT");
  const fs::path root = installed && *installed ? fs::path(installed) : scratch / "root";
  if (root == scratch / "root") {
    ASSERT_TRUE(run("env", {QString::fromStdString("DESTDIR=" + root.string()), KORVANE_CMAKE, "--install",
                            KORVANE_BUILD_DIR, "--prefix", "/usr"}, 60s)) << "cmake --install failed";
  }
  for (const char* dir : {"home", "config/korvane-rp3", "data", "cache", "run"}) fs::create_directories(user / dir);
  fs::permissions(user / "run", fs::perms::owner_all);
  const fs::path ini = user / "config/korvane-rp3/kvnset.ini", clip = user / "clip.mp4";
  settings::writeProfileString("Korvane RP 3", "ResumePlay", "1", ini);
  fs::copy_file(longClip(), clip);
  for (const auto& e : fs::recursive_directory_iterator(user)) ASSERT_EQ(::lchown(e.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chown(user.c_str(), kNobody, kNobody), 0);
  const QString dir = QString::fromStdString(user.string());
  const QStringList env{"DISPLAY=" + qEnvironmentVariable("DISPLAY"), "PATH=/usr/bin:/bin", "LANG=C.UTF-8",
                        "HOME=" + dir + "/home", "XDG_CONFIG_HOME=" + dir + "/config", "XDG_DATA_HOME=" + dir + "/data",
                        "XDG_CACHE_HOME=" + dir + "/cache", "XDG_RUNTIME_DIR=" + dir + "/run", "QT_QPA_PLATFORM=xcb",
                        "LIBGL_ALWAYS_SOFTWARE=1", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/korvane-test-bus"};
  auto link = [&](const QString& program) {
    return QStringList{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                       QString::fromStdString((root / "usr/bin").string()) + "/" + program};
  };

  for (const QString& program : kPlayers) {
    SCOPED_TRACE(program.toStdString());
    settings::writeProfileString("ResumeInfo", "Position", "0", ini);
    Program player(link(program) << QString::fromStdString(clip.string()), env);
    ASSERT_TRUE(player.waitForWindow()) << "exit " << player.exitCode();
    // The picture's upper half: the control panel below is lit before the first frame and
    // changes as the window lays itself out.
    auto picture = [&] { const QImage s = player.screenshot(); return s.copy(0, 0, s.width(), s.height() / 2); };
    EXPECT_TRUE(waitFor([&] { return lit(picture()); }, 10s)) << "the clip's first frame";
    if (program == "KorvaneRP3LXZELTA") {
      player.key("t");
      std::string pid;
      ASSERT_TRUE(waitFor([&] {
        pid = run("pgrep", {"-u", QString::number(kNobody), "-x", "KorvaneRP3set"}, 2s).value_or("");
        return !pid.empty();
      }, 10s)) << "T started no settings tool as the player's user";
      std::error_code ec;
      EXPECT_EQ(fs::canonical("/proc/" + pid + "/exe", ec), fs::canonical(root / "usr" / KORVANE_PROGRAM_DIR / "KorvaneRP3set"));
      ::kill(std::stoi(pid), SIGTERM);
      EXPECT_TRUE(waitFor([&] { return !fs::exists("/proc/" + pid); }, 5s));
    }
    const QImage shown = picture();
    EXPECT_TRUE(waitFor([&] { return picture() != shown; }, 10s)) << "playing on";
    player.key("Escape");
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", ini), "file://" + clip.string());
    EXPECT_GT(settings::profileInt("ResumeInfo", "Position", 0, ini), 0);
  }
  Program tool(link("KorvaneRP3set"), env);
  EXPECT_TRUE(tool.waitForWindow());
}
