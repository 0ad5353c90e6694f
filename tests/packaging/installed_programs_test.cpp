// SPDX-License-Identifier: MIT
// The installed programs as an unprivileged user meets them: a fresh scratch install, or
// with KORVANE_INSTALLED_ROOT=/ the package installed on the machine.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"
#include "tests/packaging/PackagingSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace korvane;
using namespace korvane::e2e;

namespace {

constexpr uid_t kNobody = 65534;

class InstalledPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path scratch = scratch_.path().toStdString();
    fs::permissions(scratch, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    const char* installed = std::getenv("KORVANE_INSTALLED_ROOT");
    ownInstall = !installed || !*installed;
    root = ownInstall ? scratch / "root" : fs::path(installed);
    if (ownInstall) {
      ASSERT_TRUE(run("env", {QString::fromStdString("DESTDIR=" + root.string()), KORVANE_CMAKE, "--install",
                              KORVANE_BUILD_DIR, "--prefix", "/usr"}, 60s)) << "cmake --install failed";
    }
    programDir = root / "usr" / KORVANE_PROGRAM_DIR;

    // The user: nobody when we are root; otherwise ourselves, with our own install made
    // read-only (a system-wide one already is).
    asRoot = ::geteuid() == 0;
    uid = asRoot ? kNobody : ::getuid();
    const gid_t gid = asRoot ? kNobody : ::getgid();
    if (!asRoot && ownInstall) fs::permissions(programDir, fs::perms::owner_write, fs::perm_options::remove);

    const fs::path user = scratch / "user";
    for (const char* dir : {"home", "config/korvane-rp3", "data", "cache", "run"}) fs::create_directories(user / dir);
    fs::permissions(user / "run", fs::perms::owner_all);
    ini = user / "config/korvane-rp3/kvnset.ini";
    settings::writeProfileString("Korvane RP 3", "ResumePlay", "1", ini);
    clip = user / "clip.mp4";
    fs::copy_file(longClip(), clip);
    for (const auto& e : fs::recursive_directory_iterator(user)) ASSERT_EQ(::lchown(e.path().c_str(), uid, gid), 0);
    ASSERT_EQ(::chown(user.c_str(), uid, gid), 0);
    const QString dir = QString::fromStdString(user.string());
    env = QStringList{"DISPLAY=" + qEnvironmentVariable("DISPLAY"), "PATH=/usr/bin:/bin", "LANG=C.UTF-8",
                      "HOME=" + dir + "/home", "XDG_CONFIG_HOME=" + dir + "/config", "XDG_DATA_HOME=" + dir + "/data",
                      "XDG_CACHE_HOME=" + dir + "/cache", "XDG_RUNTIME_DIR=" + dir + "/run", "QT_QPA_PLATFORM=xcb",
                      "LIBGL_ALWAYS_SOFTWARE=1", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/korvane-test-bus"};
    if (asRoot)
      prefix = QStringList{"/usr/bin/setpriv", QString("--reuid=%1").arg(uid), QString("--regid=%1").arg(gid),
                           "--clear-groups", "--"};

    Program probe(as({"/usr/bin/xdpyinfo"}), env);
    ASSERT_TRUE(probe.waitForExit() && probe.exitCode() == 0) << "the test's display answers the test's user";
  }

  void TearDown() override {
    if (!asRoot && ownInstall && !programDir.empty() && fs::exists(programDir))
      fs::permissions(programDir, fs::perms::owner_write, fs::perm_options::add);
  }

  // A command line run as the test's user.
  QStringList as(const QStringList& command) const { return prefix + command; }
  QStringList link(const QString& program) const {
    return as({QString::fromStdString((root / "usr/bin").string()) + "/" + program});
  }

  QTemporaryDir scratch_;
  fs::path root, programDir, ini, clip;
  bool asRoot = false, ownInstall = true;
  uid_t uid = 0;
  QStringList env, prefix;
};

}  // namespace

// Started through their links in bin, with the program folder read-only, they show the
// clip and keep their settings in the user's config folder when Esc ends them; key T
// starts the settings tool of the same install.
TEST_F(InstalledPrograms, EachStartsThroughItsLinkShowsTheClipKeepsItsSettingsInTheUsersFolderAndTStartsTheTool) {
  for (const QString& program : packaging::kPlayers) {
    SCOPED_TRACE(program.toStdString());
    settings::writeProfileString("ResumeInfo", "Position", "0", ini);
    Program player(link(program) << QString::fromStdString(clip.string()), env);
    ASSERT_TRUE(player.waitForWindow());
    // The picture's upper half: the control panel below is lit before the first frame and
    // changes as the window lays itself out.
    auto picture = [&] { const QImage s = player.screenshot(); return s.copy(0, 0, s.width(), s.height() / 2); };
    EXPECT_TRUE(waitFor([&] { return lit(picture()); }, 10s)) << "the clip's first frame";
    if (program == "KorvaneRP3LXZELTA") {
      // T starts the settings tool of the same install, as the player's user.
      player.key("t");
      std::string pid;
      ASSERT_TRUE(waitFor([&] {
        pid = run("pgrep", {"-u", QString::number(uid), "-x", "KorvaneRP3set"}, 2s).value_or("");
        return !pid.empty();
      }, 10s));
      std::error_code ec;
      EXPECT_EQ(fs::canonical("/proc/" + pid + "/exe", ec), fs::canonical(programDir / "KorvaneRP3set"));
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
