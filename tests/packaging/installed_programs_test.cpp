// SPDX-License-Identifier: MIT
// The installed programs as a user of a system-wide install meets them: started through
// their links in bin by an unprivileged user for whom the program folder is read-only,
// they play, keep their settings in the user's config folder, and key T starts the
// settings tool of the same install. By default the install is a fresh `cmake --install`
// into a scratch root; KORVANE_INSTALLED_ROOT=/ checks the package installed on the machine.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"
#include "tests/packaging/PackagingSupport.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace korvane;
using namespace korvane::e2e;
using korvane::packaging::ScratchDir;

namespace {

constexpr uid_t kNobody = 65534;

// A program started through its link, as the test's user, killed if still running.
class Installed {
 public:
  Installed(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  Installed(const Installed&) = delete;
  Installed& operator=(const Installed&) = delete;
  ~Installed() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // The window, once mapped; false at once if the program ends first.
  bool waitForWindow() {
    return waitFor([&] {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
      if (reaped_) return true;
      auto out = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid_)}, 2s);
      if (out && !out->empty()) window_ = out->substr(0, out->find('\n'));
      return !window_.empty();
    }, 15s) && !reaped_;
  }
  std::string exitStatus() const {
    if (!reaped_) return "running";
    return WIFEXITED(status_) ? "exit " + std::to_string(WEXITSTATUS(status_)) : "signal " + std::to_string(WTERMSIG(status_));
  }
  void key(const char* name) const {
    run("xdotool", {"windowfocus", "--sync", QString::fromStdString(window_)}, 3s);
    run("xdotool", {"key", "--clearmodifiers", name}, 5s);
  }
  bool waitForExit() {
    return reaped_ = waitFor([&] { return ::waitpid(pid_, &status_, WNOHANG) == pid_; }, 15s);
  }
  bool exitedCleanly() const { return reaped_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0; }

 private:
  pid_t pid_ = 0;
  std::string window_;
  bool reaped_ = false;
  int status_ = 0;
};

class InstalledPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display";
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    root = scratch.path() / "root";
    const char* installed = std::getenv("KORVANE_INSTALLED_ROOT");
    ownInstall = !installed || !*installed;
    if (!ownInstall) {
      root = installed;
    } else {
      QProcess install;
      auto env = QProcessEnvironment::systemEnvironment();
      env.insert("DESTDIR", QString::fromStdString(root.string()));
      install.setProcessEnvironment(env);
      install.start(KORVANE_CMAKE, {"--install", KORVANE_BUILD_DIR, "--prefix", "/usr"});
      ASSERT_TRUE(install.waitForFinished(60000) && install.exitCode() == 0) << install.readAllStandardError().toStdString();
    }
    programDir = root / "usr" / KORVANE_PROGRAM_DIR;

    // The user: nobody when we are root; otherwise ourselves, with our own install made
    // read-only (a system-wide one already is).
    asRoot = ::geteuid() == 0;
    uid = asRoot ? kNobody : ::getuid();
    gid = asRoot ? kNobody : ::getgid();
    if (!asRoot && ownInstall) fs::permissions(programDir, fs::perms::owner_write, fs::perm_options::remove);

    const fs::path user = scratch.path() / "user";
    for (const char* dir : {"home", "config/korvane-rp3", "data", "cache", "run"}) fs::create_directories(user / dir);
    fs::permissions(user / "run", fs::perms::owner_all);
    ini = user / "config/korvane-rp3/kvnset.ini";
    settings::writeProfileString("Korvane RP 3", "ResumePlay", "1", ini);
    clip = user / "clip.mp4";
    fs::copy_file(longClip(), clip);
    // A display guarded by a cookie (xvfb-run) lets the user in with a copy of it.
    const char* cookie = std::getenv("XAUTHORITY");
    if (cookie && fs::is_regular_file(cookie)) fs::copy_file(cookie, user / "home/.Xauthority");
    for (const auto& e : fs::recursive_directory_iterator(user)) ASSERT_EQ(::lchown(e.path().c_str(), uid, gid), 0);
    ASSERT_EQ(::chown(user.c_str(), uid, gid), 0);
    env = {"DISPLAY=" + std::string(std::getenv("DISPLAY")), "PATH=/usr/bin:/bin", "LANG=C.UTF-8",
           "HOME=" + (user / "home").string(), "XDG_CONFIG_HOME=" + (user / "config").string(),
           "XDG_DATA_HOME=" + (user / "data").string(), "XDG_CACHE_HOME=" + (user / "cache").string(),
           "XDG_RUNTIME_DIR=" + (user / "run").string(), "QT_QPA_PLATFORM=xcb", "LIBGL_ALWAYS_SOFTWARE=1",
           "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/korvane-test-bus",
           "XAUTHORITY=" + (user / "home/.Xauthority").string()};

    Installed probe(command("/usr/bin/xdpyinfo", {}), env);
    if (!probe.waitForExit() || !probe.exitedCleanly()) GTEST_SKIP() << "the display does not answer another user";
  }

  void TearDown() override {
    if (!asRoot && ownInstall && !programDir.empty() && fs::exists(programDir))
      fs::permissions(programDir, fs::perms::owner_write, fs::perm_options::add);
  }

  // The link in bin, run as the test's user.
  std::vector<std::string> command(const fs::path& program, const std::vector<std::string>& args) const {
    std::vector<std::string> argv;
    if (asRoot)
      argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid), "--clear-groups", "--"};
    argv.push_back(program.string());
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  Installed start(const char* program, const std::vector<std::string>& args = {}) const {
    return Installed(command(root / "usr/bin" / program, args), env);
  }

  ScratchDir scratch;
  fs::path root, programDir, ini, clip;
  bool asRoot = false, ownInstall = true;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<std::string> env;
};

}  // namespace

TEST_F(InstalledPrograms, EachStartsThroughItsLinkPlaysAndKeepsItsSettingsInTheUsersFolder) {
  for (const QString& program : packaging::kPlayers) {
    SCOPED_TRACE(program.toStdString());
    settings::writeProfileString("ResumeInfo", "Position", "0", ini);
    {
      Installed player = start(program.toUtf8().constData(), {clip.string()});
      ASSERT_TRUE(player.waitForWindow()) << player.exitStatus();
      std::this_thread::sleep_for(2s);  // playing on
      player.key("Escape");
      ASSERT_TRUE(player.waitForExit());
    }
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", ini), "file://" + clip.string());
    EXPECT_GE(settings::profileInt("ResumeInfo", "Position", 0, ini), 1000);
  }
  Installed tool = start("KorvaneRP3set");
  EXPECT_TRUE(tool.waitForWindow());
  EXPECT_FALSE(fs::exists(programDir / "kvnset.ini"));
}

TEST_F(InstalledPrograms, KeyTStartsTheSettingsToolOfTheSameInstall) {
  Installed player = start("KorvaneRP3LX");
  ASSERT_TRUE(player.waitForWindow());
  player.key("t");
  std::string pid;
  ASSERT_TRUE(waitFor([&] {
    auto found = run("xdotool", {"search", "--onlyvisible", "--name", "Korvane RP 3 設定ツール"}, 2s);
    if (!found || found->empty()) return false;
    pid = run("xdotool", {"getwindowpid", QString::fromStdString(found->substr(0, found->find('\n')))}, 2s).value_or("");
    return !pid.empty();
  }, 10s));
  const fs::path proc = "/proc/" + pid;
  std::error_code ec;
  EXPECT_EQ(fs::canonical(proc / "exe", ec), fs::canonical(programDir / "KorvaneRP3set"));
  struct stat owner {};
  EXPECT_EQ(::stat(proc.c_str(), &owner), 0);
  EXPECT_EQ(owner.st_uid, uid);  // started by the player, as its user
  ::kill(std::stoi(pid), SIGTERM);
}
