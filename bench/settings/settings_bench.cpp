// SPDX-License-Identifier: MIT
// Times a player's whole settings traffic on a realistic kvnset.ini: the start-up read
// (7 flags, 4 geometry keys, 2 resume keys) and the shutdown write (6 keys), against
// QSettings' INI backend doing the same reads and writes on the same file.
#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace fs = std::filesystem;
using namespace korvane::settings;
using Clock = std::chrono::steady_clock;

namespace {

const char* kRealisticFile =
    "; written by the settings tool\r\n"
    "[Korvane RP 3]\r\nAlwaysFront=0\r\nOriginalFit=1\r\nNotWindowsXP=1\r\nScreenInfoSave=1\r\n"
    "NotMultiStart=1\r\nNotPlayInfoDisplay=1\r\nResumePlay=1\r\n\r\n"
    "[KeepConnect]\r\n.avi=1\r\n.rm=1\r\n.mov=0\r\n.mid=0\r\n.mp3=1\r\n.mpg=1\r\n.wav=0\r\n"
    ".wma=0\r\n.rv=0\r\n.ra=0\r\n.ram=1\r\n=0\r\n\r\n"
    "[Screen]\r\nHeight=411\r\nWidth=480\r\nTop=3105\r\nLeft=3990\r\n\r\n"
    "[ResumeInfo]\r\nFilePath=file:///home/user/Videos/Holiday 2026/Day 3 - the harbour.mkv\r\nPosition=61500\r\n";

struct Result {
  double readUs, writeUs;
};

double medianUs(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

Result measure(int rounds, const std::function<void()>& read, const std::function<void()>& write) {
  std::vector<double> reads, writes;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    read();
    auto t1 = Clock::now();
    write();
    auto t2 = Clock::now();
    reads.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    writes.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  return {medianUs(reads), medianUs(writes)};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  fs::path dir = fs::temp_directory_path() / ("korvane-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "kvnset.ini";
  auto reset = [&] { std::ofstream(file, std::ios::binary | std::ios::trunc) << kRealisticFile; };

  reset();
  volatile int sink = 0;
  Result ours = measure(
      rounds,
      [&] {
        for (auto key : kOptionKeys) sink = sink + profileInt(kOptionSection, key, 0, file);
        for (auto k : kScreenKeys) sink = sink + profileInt(kScreenSection, k.key, k.defaultValue, file);
        sink = sink + int(profileString(kResumeSection, kResumeFilePathKey, "", file).size());
        sink = sink + profileInt(kResumeSection, kResumePositionKey, 0, file);
      },
      [&] {
        for (auto k : kScreenKeys) writeProfileString(kScreenSection, k.key, std::to_string(k.defaultValue + 1), file);
        writeProfileString(kResumeSection, kResumeFilePathKey, "file:///home/user/Videos/next clip.mkv", file);
        writeProfileString(kResumeSection, kResumePositionKey, "62500", file);
      });

  reset();
  // QSettings caches the file in memory; a fresh object per call matches our
  // "every call opens the file afresh" and what a player does at start-up.
  const QString path = QString::fromStdString(file.string());
  Result peer = measure(
      rounds,
      [&] {
        QSettings s(path, QSettings::IniFormat);
        for (auto key : kOptionKeys)
          sink = sink + s.value(QString("Korvane RP 3/%1").arg(QString::fromUtf8(key.data(), key.size())), 0).toInt();
        for (auto k : kScreenKeys)
          sink = sink + s.value(QString("Screen/%1").arg(QString::fromUtf8(k.key.data(), k.key.size())), 0).toInt();
        sink = sink + s.value("ResumeInfo/FilePath").toString().size();
        sink = sink + s.value("ResumeInfo/Position", 0).toInt();
      },
      [&] {
        QSettings s(path, QSettings::IniFormat);
        for (auto k : kScreenKeys)
          s.setValue(QString("Screen/%1").arg(QString::fromUtf8(k.key.data(), k.key.size())), k.defaultValue + 1);
        s.setValue("ResumeInfo/FilePath", "file:///home/user/Videos/next clip.mkv");
        s.setValue("ResumeInfo/Position", 62500);
        s.sync();
      });

  std::printf("settings traffic, median of %d rounds (microseconds)\n", rounds);
  std::printf("%-28s %12s %12s\n", "", "start-up read", "shutdown write");
  std::printf("%-28s %12.1f %12.1f\n", "kvnset.ini library", ours.readUs, ours.writeUs);
  std::printf("%-28s %12.1f %12.1f\n", "QSettings (IniFormat)", peer.readUs, peer.writeUs);
  std::printf("%-28s %12.2f %12.2f\n", "ratio ours/QSettings", ours.readUs / peer.readUs, ours.writeUs / peer.writeUs);
  fs::remove_all(dir);
  return 0;
}
