// SPDX-License-Identifier: MIT
// RealAudio2's view: our own control panel for the same playback (play/pause, stop, a seek
// bar with position and length, mute, volume), laid out for 25 pixels of height.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace korvane::media {

class MpvEngine;

class ControlPanel : public QWidget {
  Q_OBJECT

 public:
  ControlPanel(MpvEngine& engine, QWidget* parent);

  // "mm:ss / mm:ss" as shown (hours when the clip has them).
  QString timeText() const;

  static QString clockText(qint64 ms, bool withHours);

 private:
  void engine_stateChanged(int state);
  void engine_positionChanged(qint64 ms);
  void engine_lengthChanged(qint64 ms);
  void playButton_clicked();
  void seekBar_released();
  void refreshTime();

  QPointer<MpvEngine> engine_;
  QToolButton* playButton_;
  QToolButton* stopButton_;
  QSlider* seekBar_;
  QLabel* time_;
  QToolButton* muteButton_;
  QSlider* volume_;
  qint64 shownSecond_ = -1;
  qint64 position_ = 0, length_ = 0;
};

}  // namespace korvane::media
