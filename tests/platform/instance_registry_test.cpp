// SPDX-License-Identifier: MIT
// The instance registry: the close hand-shake against real (hung, killed and hostile) peer
// processes, and the program folder found through a link.
#include "platform/InstanceRegistry.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace korvane::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const QString kLX = QStringLiteral("Korvane RP 3 LX");
const QString kProgram = QStringLiteral("KorvaneRP3LX");

template <typename F>
qint64 msFor(F f) {
  QElapsedTimer t;
  t.start();
  f();
  return t.elapsed();
}

// A registry_peer process, published under `caption`; killed at the end of its scope.
struct Peer {
  QProcess proc;
  QString socketPath;
  qint64 pid = 0;

  Peer(const QString& caption, const QStringList& options = {}) {
    proc.start(REGISTRY_PEER, QStringList{caption} + options);
    proc.waitForReadyRead(5000);  // the line is written at once, and a pipe keeps it whole
    const QString ready = QString::fromUtf8(proc.readLine()).trimmed();
    EXPECT_TRUE(ready.startsWith("ready ")) << ready.toStdString();
    socketPath = ready.mid(6);
    pid = proc.processId();
  }
  ~Peer() {
    if (proc.state() != QProcess::NotRunning) kill9();
  }
  void kill9() {
    ::kill(pid_t(pid), SIGKILL);
    proc.waitForFinished(5000);
  }
};

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { qputenv("XDG_RUNTIME_DIR", base_.toLocal8Bit()); }

  const QTemporaryDir scratch_;
  const QString base_ = scratch_.path(), dir_ = base_ + "/korvane-rp3";
};

}  // namespace

// Garbage first: it neither crashes nor stalls the peer; nor is it asked to close through a
// path outside our folder. Then every concurrent requester is answered, after the one run of
// the handler, once the peer has written: not only once it has ended, which takes longer.
TEST_F(Registry, CloseRequestsReturnOnceThePeerHasWritten) {
  const QString marker = base_ + "/settings-written";
  Peer a(kLX, {"--marker", marker, "--delay-ms", "300", "--linger-ms", "4000"});
  const QList<QByteArray> garbage = {"\n", "[1,2]\n", QByteArray("\0\xff\n{", 4), R"({"v":2,"op":"info"})" "\n",
                                     R"({"v":"1","op":"close"})" "\n", R"({"v":1,"op":"explode"})" "\n",
                                     QByteArray(300, 'x'), QByteArray(1 << 20, '{'), R"({"v":1,"op":"close")"};
  for (const QByteArray& junk : garbage) {
    QLocalSocket s;
    s.connectToServer(a.socketPath);
    s.write(junk);
    EXPECT_TRUE(s.waitForDisconnected(3000)) << junk.left(40).toStdString();
  }

  InstanceRegistry me(kProgram);
  const auto target = me.findWindow(kLX).value();
  ASSERT_EQ(::symlink(qPrintable(a.socketPath), qPrintable(base_ + "/KorvaneRP3LX.1.1.sock")), 0);
  for (const QString& outside : {base_ + "/KorvaneRP3LX.1.1.sock", dir_ + "/../KorvaneRP3LX.1.1.sock"})
    EXPECT_FALSE(me.requestClose({.program = kProgram, .caption = kLX, .appTitle = kLX, .socketPath = outside}, 5s));
  std::atomic<int> answered = 0;
  const qint64 ms = msFor([&] {
    std::thread other([&] { answered += me.requestClose(target); });
    answered += me.requestClose(target);
    other.join();
  });
  EXPECT_EQ(answered, 2);
  EXPECT_GE(ms, 300);  // the write delay
  EXPECT_TRUE(QFile::exists(marker));
  EXPECT_EQ(a.proc.state(), QProcess::Running) << "still ending";
  EXPECT_TRUE(a.proc.waitForFinished(10000));
  EXPECT_EQ(a.proc.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(a.socketPath));
}

// A hung peer delays by the bound only; a killed one's entry is removed at once, without
// waiting for an answer (that the next player is neither held up nor fooled is seen end to end).
TEST_F(Registry, HungPeersDelayOnlyByTheBoundAndDeadEntriesGoAtOnce) {
  Peer hung("hung", {"--hang"}), a(kLX), b(kLX);
  InstanceRegistry me(kProgram);
  const auto stale = me.findWindow(kLX).value();
  a.kill9();
  b.kill9();
  EXPECT_LT(msFor([&] {
              EXPECT_FALSE(me.requestClose(stale, 5s));
              EXPECT_FALSE(me.findWindow(kLX));
            }),
            200);
  EXPECT_FALSE(QFile::exists(a.socketPath) || QFile::exists(b.socketPath));

  const auto hungInfo = me.findWindow("hung").value();
  EXPECT_NEAR(msFor([&] { EXPECT_FALSE(me.requestClose(hungInfo, 1s)); }), 1250, 250);
  EXPECT_TRUE(me.findWindow("hung"));  // its GUI thread is stuck, yet lookups are answered
}

// The real folder's name is not UTF-8: its bytes come back as they are.
TEST(ProgramDirectory, IsTheRealFolderOfAProgramStartedThroughALink) {
  const QTemporaryDir links;
  const fs::path real = fs::path(links.path().toStdString()) / "real\xff";
  fs::create_directory(real);
  fs::copy_file(REGISTRY_PEER, real / "peer");
  ASSERT_EQ(::symlink((real / "peer").c_str(), QFile::encodeName(links.filePath("peer")).constData()), 0);
  QProcess p;
  p.start(links.filePath("peer"), {"--print-program-dir"});
  ASSERT_TRUE(p.waitForFinished(5000));
  EXPECT_EQ(p.readAllStandardOutput().trimmed().toStdString(), real.string());
}
