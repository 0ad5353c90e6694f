// SPDX-License-Identifier: MIT
// Which of our programs are running for this user, and the close request between them:
// each instance publishes itself on a local socket in the runtime directory.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace korvane::platform {

struct InstanceInfo {
  QString program;       // e.g. "KorvaneRP3LX"
  QString caption;       // window caption when it was asked
  QString appTitle;      // application title when it was asked
  qint64 pid = 0;
  qint64 startedNs = 0;  // CLOCK_BOOTTIME at publication; smaller is older
  QString socketPath;
};

// Answers other instances from a thread of its own, so lookups see this instance even
// while its GUI thread is busy (in its own start-up lookups, say). The lookups below
// block the calling thread, each for a bounded time; a live entry is never removed,
// an entry whose listener is gone (a crashed process) is removed when met.
class InstanceRegistry : public QObject {
  Q_OBJECT

 public:
  // How long one lookup waits for entries to answer; a silent entry does not match.
  // Generous, so a busy machine never hides a live instance; only a stopped one costs it.
  static constexpr std::chrono::milliseconds kInfoBound{1500};

  explicit InstanceRegistry(QString program, QObject* parent = nullptr);
  // Unpublishes, after flushing any close answer still on its way.
  ~InstanceRegistry() override;

  // Publishes this process. False when the runtime directory is unusable, the program
  // name is not 1-64 of [A-Za-z0-9_-], or the socket cannot be made; the program then
  // runs unseen by others. True again when already published.
  bool listen();
  QString socketPath() const;  // empty until published

  // Thread-safe; answered from then on.
  void setCaption(const QString& caption);
  void setApplicationTitle(const QString& title);

  // Runs on this object's thread when another instance asks us to close. It runs the
  // window's unload handler and closes the window; only once it has returned is the
  // requester answered (and this entry withdrawn). Runs at most once. Without a handler
  // close requests are refused.
  void setCloseHandler(std::function<void()> handler);

  // A live entry other than ours with the same program name. Blocks at most kInfoBound.
  bool anotherInstanceRunning() const;

  // The oldest live entry of the same program, other than ours, whose caption or
  // application title is exactly `title` (the empty title included). Blocks at most
  // kInfoBound.
  std::optional<InstanceInfo> findWindow(const QString& title) const;

  // Asks `target` to close and blocks until it answers or `bound` has passed: it answers
  // once its close handler has run (the settings file is written), not when its process
  // has ended, which takes a few hundred ms more. True when it answered so. False at once for anything but
  // another entry of our runtime directory, or when it refuses. A request that reached a
  // busy or stopped instance is still honoured when it runs again, bound or not.
  bool requestClose(const InstanceInfo& target,
                    std::chrono::milliseconds bound = std::chrono::seconds(10)) const;

 private:
  void runCloseHandler();

  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace korvane::platform
