// SPDX-License-Identifier: MIT
// The instance registry against real peer processes: lookups, the close hand-shake and
// its bound, crashed and stopped peers, hostile clients, and the runtime directory.
#include "platform/InstanceRegistry.h"
#include "platform/Paths.h"
#include "platform/RegistryProtocol.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>

#include <atomic>
#include <numeric>
#include <tuple>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace korvane::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const QString kLX = QStringLiteral("Korvane RP 3 LX");

struct Peer {
  QProcess proc;
  QString socketPath;
  qint64 pid = 0;

  QString readLine() {
    while (!proc.canReadLine())
      if (!proc.waitForReadyRead(5000)) return {};
    return QString::fromUtf8(proc.readLine()).trimmed();
  }
  void send(const QString& command) {
    proc.write((command + '\n').toUtf8());
    EXPECT_EQ(readLine(), "ok");
  }
  void signal(int sig) { ::kill(pid_t(pid), sig); }
  void kill9() {
    signal(SIGKILL);
    proc.waitForFinished(5000);
  }
  // SIGSTOP lands asynchronously; wait until no thread of the peer runs.
  void stop() {
    signal(SIGSTOP);
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    auto stopped = [&] {
      for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + tid + "/stat");  // "tid (comm) T ...": the state follows the last ')'
        if (!stat.open(QIODevice::ReadOnly)) return false;
        const QByteArray text = stat.readAll();
        if (text.mid(text.lastIndexOf(')') + 2, 1) != "T") return false;
      }
      return true;
    };
    for (int i = 0; i < 500 && !stopped(); ++i) ::usleep(2000);
  }
  ~Peer() {
    if (proc.state() != QProcess::NotRunning) kill9();
  }
};

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvane-platform-XXXXXX";
    base_ = QString::fromLocal8Bit(::mkdtemp(tmpl));
    qputenv("XDG_RUNTIME_DIR", base_.toLocal8Bit());
    dir_ = base_ + "/korvane-rp3";
  }
  void TearDown() override {
    peers_.clear();
    fs::remove_all(base_.toStdString());
  }

  Peer& start(const QString& program, const QString& caption, const QString& title,
              const QStringList& extra = {}) {
    peers_.push_back(std::make_unique<Peer>());
    Peer& p = *peers_.back();
    p.proc.start(REGISTRY_PEER,
                 QStringList{"--program", program, "--caption", caption, "--app-title", title} + extra);
    EXPECT_TRUE(p.proc.waitForStarted(5000));
    p.pid = p.proc.processId();
    const QString ready = p.readLine();
    EXPECT_TRUE(ready.startsWith("ready ")) << ready.toStdString();
    p.socketPath = ready.mid(6);
    return p;
  }

  QString base_, dir_;
  std::vector<std::unique_ptr<Peer>> peers_;
};

qint64 msFor(const std::function<void()>& f) {
  QElapsedTimer t;
  t.start();
  f();
  return t.elapsed();
}

}  // namespace

TEST_F(Registry, FindsByExactCaptionOrApplicationTitleAsTheyAreNow) {
  Peer& a = start("KorvaneRP3LX", kLX, "Korvane RP 3-2 LX");
  InstanceRegistry me("KorvaneRP3LX");
  for (const QString& title : {kLX, QStringLiteral("Korvane RP 3-2 LX")}) {
    const auto found = me.findWindow(title);
    ASSERT_TRUE(found) << title.toStdString();
    EXPECT_EQ(std::tie(found->pid, found->program, found->caption, found->appTitle, found->socketPath),
              std::tie(a.pid, "KorvaneRP3LX", kLX, "Korvane RP 3-2 LX", a.socketPath));
  }
  for (const char* other : {"korvane rp 3 lx", "Korvane RP 3", ""}) EXPECT_FALSE(me.findWindow(other));

  a.send("caption song.mkv [00:01/03:42]");
  EXPECT_FALSE(me.findWindow(kLX));
  EXPECT_TRUE(me.findWindow("song.mkv [00:01/03:42]"));
  a.send("title " + kLX);
  EXPECT_TRUE(me.findWindow(kLX));
}

TEST_F(Registry, TheOldestMatchWinsAndTheEmptyTitleFindsAnUntitledWindow) {
  Peer& older = start("KorvaneRP3LXVORNA", "", "Korvane RP 3 LX VORNA");
  Peer& newer = start("KorvaneRP3LXVORNA", "", "Korvane RP 3 LX VORNA");
  start("KorvaneRP3LX", kLX, kLX);
  InstanceRegistry me("KorvaneRP3LXVORNA");
  EXPECT_EQ(me.findWindow("").value().pid, older.pid);
  EXPECT_EQ(me.findWindow("Korvane RP 3 LX VORNA").value().pid, older.pid);
  older.kill9();
  EXPECT_EQ(me.findWindow("").value().pid, newer.pid);
}

TEST_F(Registry, SeesOtherInstancesOfItsProgramButNeverItself) {
  InstanceRegistry me("KorvaneRP3LX");
  me.setCaption(kLX);
  me.setCloseHandler([] { ADD_FAILURE() << "asked to close itself"; });
  ASSERT_TRUE(me.listen());
  EXPECT_FALSE(me.findWindow(kLX));
  EXPECT_FALSE(me.requestClose({"KorvaneRP3LX", kLX, "", ::getpid(), 0, me.socketPath()}, 1s));

  start("KorvaneRP3LXZELTA", kLX, kLX);
  EXPECT_FALSE(me.anotherInstanceRunning());
  Peer& same = start("KorvaneRP3LX", "x", "y");
  EXPECT_TRUE(me.anotherInstanceRunning());
  same.stop();  // stopped is still running
  EXPECT_TRUE(me.anotherInstanceRunning());
  same.signal(SIGCONT);
  // Another registry of this process sees this one like any other instance.
  EXPECT_EQ(InstanceRegistry("KorvaneRP3LX").findWindow(kLX).value().socketPath, me.socketPath());
  QCoreApplication::processEvents();
}

TEST_F(Registry, CloseRequestsReturnOnceThePeerHasWrittenAndExited) {
  const QString marker = base_ + "/settings-written";
  Peer& a = start("KorvaneRP3LX", kLX, kLX, {"--marker", marker, "--delay-ms", "300", "--linger-ms", "400"});
  InstanceRegistry me("KorvaneRP3LX");
  const auto target = me.findWindow(kLX);
  ASSERT_TRUE(target);

  // Every concurrent requester is answered, after the one run of the handler.
  std::atomic<int> answered = 0;
  const qint64 ms = msFor([&] {
    std::thread other([&] { answered += me.requestClose(*target); });
    answered += me.requestClose(*target);
    other.join();
  });
  EXPECT_EQ(answered, 2);
  EXPECT_NEAR(ms, 1850, 1150);  // at least the write delay and the lingering exit
  QFile f(marker);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "closed " + QByteArray::number(a.pid) + "\n");
  EXPECT_TRUE(a.proc.waitForFinished(500));  // it hung up as it exited: only reaping is left
  EXPECT_EQ(a.proc.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(a.socketPath));
  EXPECT_FALSE(me.anotherInstanceRunning());
}

TEST_F(Registry, ARegistryDestroyedByItsOwnHandlerStillAnswers) {
  Peer& a = start("KorvaneRP3LX", kLX, kLX, {"--delete-in-handler"});
  InstanceRegistry me("KorvaneRP3LX");
  EXPECT_LT(msFor([&] { EXPECT_TRUE(me.requestClose(me.findWindow(kLX).value(), 5s)); }), 1000);
  EXPECT_TRUE(a.proc.waitForFinished(1000));
}

TEST_F(Registry, OnlyEntriesOfOurDirectoryAreAskedToClose) {
  Peer& a = start("KorvaneRP3LX", kLX, kLX, {"--marker", base_ + "/m"});
  InstanceRegistry me("KorvaneRP3LX");
  auto target = me.findWindow(kLX).value();
  ASSERT_EQ(::symlink(qPrintable(a.socketPath), qPrintable(base_ + "/KorvaneRP3LX.1.1.sock")), 0);
  for (const QString& path : {base_ + "/KorvaneRP3LX.1.1.sock", dir_ + "/../KorvaneRP3LX.1.1.sock"}) {
    target.socketPath = path;
    EXPECT_FALSE(me.requestClose(target, 5s));
  }
  EXPECT_FALSE(QFile::exists(base_ + "/m"));
}

TEST_F(Registry, AnUnansweredCloseRequestDelaysOnlyByTheBound) {
  start("KorvaneRP3LX", "hung", "hung", {"--hang"});
  Peer& stopped = start("KorvaneRP3LX", "stopped", "stopped");
  InstanceRegistry me("KorvaneRP3LX");
  const auto hung = me.findWindow("hung");
  const auto stoppedInfo = me.findWindow("stopped");
  ASSERT_TRUE(hung && stoppedInfo);

  // A stopped peer does not match and delays a lookup by the info bound only, but it is
  // alive: its entry stays and it is found again once it runs.
  stopped.stop();
  EXPECT_LT(msFor([&] { EXPECT_FALSE(me.findWindow("stopped")); }), InstanceRegistry::kInfoBound.count() + 300);
  EXPECT_TRUE(QFile::exists(stopped.socketPath));
  stopped.signal(SIGCONT);
  EXPECT_TRUE(me.findWindow("stopped"));

  stopped.stop();
  for (const auto& target : {*hung, *stoppedInfo})
    EXPECT_NEAR(msFor([&] { EXPECT_FALSE(me.requestClose(target, 1s)); }), 1250, 250);
  EXPECT_TRUE(me.findWindow("hung"));  // its GUI thread is stuck, yet lookups are answered
  // A delivered request is honoured late: the stopped peer closes once it runs again.
  stopped.signal(SIGCONT);
  EXPECT_TRUE(stopped.proc.waitForFinished(3000));
  EXPECT_FALSE(QFile::exists(stopped.socketPath));
}

TEST_F(Registry, AKilledPeerLeavesNothingThatBlocksOrFoolsTheNextStart) {
  Peer& a = start("KorvaneRP3LX", kLX, kLX);
  InstanceRegistry me("KorvaneRP3LX");
  const auto stale = me.findWindow(kLX);
  a.kill9();
  ASSERT_TRUE(QFile::exists(a.socketPath));
  EXPECT_FALSE(me.anotherInstanceRunning());
  EXPECT_FALSE(QFile::exists(a.socketPath));

  Peer& b = start("KorvaneRP3LX", kLX, kLX);
  b.kill9();
  EXPECT_LT(msFor([&] {
              EXPECT_FALSE(me.findWindow(kLX));
              EXPECT_FALSE(me.requestClose(*stale, 5s));
            }),
            200);
  EXPECT_FALSE(QFile::exists(b.socketPath));
  const qint64 next = start("KorvaneRP3LX", kLX, kLX).pid;
  EXPECT_EQ(me.findWindow(kLX).value().pid, next);
}

TEST_F(Registry, HostileClientsNeitherCrashNorStallAPeer) {
  Peer& a = start("KorvaneRP3LX", kLX, kLX);
  QByteArray binary(256, 0);
  std::iota(binary.begin(), binary.end(), 0);
  const QList<QByteArray> garbage = {"\n", "{}\n", "[1,2]\n", R"({"v":2,"op":"info"})" "\n",
                                     R"({"v":"1","op":"close"})" "\n", R"({"v":1,"op":"explode"})" "\n",
                                     binary + '\n', QByteArray(300, 'x'), QByteArray(1 << 20, '{'),
                                     R"({"v":1,"op":"close")"};  // half a request
  for (const QByteArray& junk : garbage) {
    QLocalSocket s;
    QByteArray answer;
    QObject::connect(&s, &QLocalSocket::readyRead, [&] { answer += s.readAll(); });
    s.connectToServer(a.socketPath);
    s.write(junk);
    EXPECT_TRUE(s.waitForDisconnected(3000)) << junk.left(40).toStdString();
    EXPECT_FALSE(protocol::decodeInfo(answer.trimmed()) || protocol::decodeClosed(answer.trimmed()))
        << answer.toStdString();
  }
  InstanceRegistry me("KorvaneRP3LX");
  EXPECT_TRUE(me.requestClose(me.findWindow(kLX).value(), 5s));
  EXPECT_TRUE(a.proc.waitForFinished(2000) && a.proc.exitCode() == 0);
}

TEST_F(Registry, RuntimeDirectoryIsPrivateAndRefusedWhenOthersCouldReachIt) {
  EXPECT_EQ(runtimeDirectory(), dir_);
  struct stat st {};
  ASSERT_EQ(::lstat(qPrintable(dir_), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  for (const char* unusable : {"", "relative/dir", "/nonexistent/korvane"}) {
    qputenv("XDG_RUNTIME_DIR", unusable);
    EXPECT_EQ(runtimeDirectory(), QStringLiteral("/tmp/korvane-rp3-%1").arg(::getuid())) << unusable;
  }
  qputenv("XDG_RUNTIME_DIR", base_.toLocal8Bit());

  for (mode_t mode : {0750, 0701}) {
    ::chmod(qPrintable(dir_), mode);
    EXPECT_EQ(runtimeDirectory(), "") << mode;
    EXPECT_FALSE(InstanceRegistry("KorvaneRP3LX").listen());
  }
  fs::remove_all(dir_.toStdString());
  ::mkdir(qPrintable(base_ + "/elsewhere"), 0700);
  fs::create_directory_symlink((base_ + "/elsewhere").toStdString(), dir_.toStdString());
  EXPECT_EQ(runtimeDirectory(), "");
  fs::remove(dir_.toStdString());

  if (::getuid() != 0) GTEST_SKIP() << "giving the folder to another user needs root";
  ASSERT_EQ(runtimeDirectory(), dir_);
  ASSERT_EQ(::chown(qPrintable(dir_), 65534, 65534), 0);
  EXPECT_EQ(runtimeDirectory(), "");
}

TEST(ProgramDirectory, IsTheRealFolderOfAProgramStartedThroughALink) {
  char tmpl[] = "/tmp/korvane-link-XXXXXX";
  const fs::path links = ::mkdtemp(tmpl);
  fs::create_symlink(REGISTRY_PEER, links / "peer");
  QProcess p;
  p.start(QString::fromStdString((links / "peer").string()), {"--print-program-dir"});
  ASSERT_TRUE(p.waitForFinished(5000));
  EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
            QFileInfo(QFileInfo(REGISTRY_PEER).canonicalFilePath()).absolutePath());
  fs::remove_all(links);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
