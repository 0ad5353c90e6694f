// SPDX-License-Identifier: MIT
// The control panel. Its controls never take focus, so every key stays with the form.
#include "player/media/ControlPanel.h"

#include "player/media/MediaControl.h"
#include "player/media/MpvEngine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace korvane::media {

namespace {

// The style's media icons are drawn dark, for light panels; ours are light on black.
QIcon glyph(QStyle::StandardPixmap kind, qreal ratio) {
  QPixmap pixmap(QSize(14, 14) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 220, 220));
  switch (kind) {
    case QStyle::SP_MediaPlay: {
      QPainterPath triangle;
      triangle.moveTo(3, 2);
      triangle.lineTo(12, 7);
      triangle.lineTo(3, 12);
      triangle.closeSubpath();
      p.drawPath(triangle);
      break;
    }
    case QStyle::SP_MediaPause:
      p.drawRect(QRectF(3, 2, 3, 10));
      p.drawRect(QRectF(8, 2, 3, 10));
      break;
    default:
      p.drawRect(QRectF(3, 3, 8, 8));
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

ControlPanel::ControlPanel(MpvEngine& engine, QWidget* parent) : QWidget(parent), engine_(&engine) {
  setAutoFillBackground(true);
  QPalette dark = palette();
  dark.setColor(QPalette::Window, Qt::black);
  dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
  dark.setColor(QPalette::Button, QColor(40, 40, 40));
  dark.setColor(QPalette::ButtonText, QColor(220, 220, 220));
  setPalette(dark);
  setFocusPolicy(Qt::NoFocus);

  const auto button = [this](QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(this);
    b->setIcon(icon == QStyle::SP_MediaVolume ? style()->standardIcon(icon) : glyph(icon, devicePixelRatioF()));
    b->setIconSize(QSize(14, 14));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(23, 21);
    return b;
  };
  playButton_ = button(QStyle::SP_MediaPlay);
  stopButton_ = button(QStyle::SP_MediaStop);
  muteButton_ = button(QStyle::SP_MediaVolume);
  muteButton_->setCheckable(true);

  seekBar_ = new QSlider(Qt::Horizontal, this);
  seekBar_->setFocusPolicy(Qt::NoFocus);
  seekBar_->setRange(0, 0);
  time_ = new QLabel(this);
  time_->setText(timeText());
  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setFocusPolicy(Qt::NoFocus);
  volume_->setRange(0, 100);
  volume_->setFixedWidth(60);
  volume_->setValue(engine.volume());

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 4, 1);
  layout->setSpacing(2);
  layout->addWidget(playButton_);
  layout->addWidget(stopButton_);
  layout->addWidget(seekBar_, 1);
  layout->addWidget(time_);
  layout->addWidget(muteButton_);
  layout->addWidget(volume_);

  connect(&engine, &MpvEngine::stateChanged, this, &ControlPanel::engine_stateChanged);
  connect(&engine, &MpvEngine::positionChanged, this, &ControlPanel::engine_positionChanged);
  connect(&engine, &MpvEngine::lengthChanged, this, &ControlPanel::engine_lengthChanged);
  connect(&engine, &MpvEngine::volumeChanged, volume_, [this](int level) {
    if (!volume_->isSliderDown()) volume_->setValue(level);
  });
  connect(&engine, &MpvEngine::muteChanged, this, [this](bool on) {
    muteButton_->setChecked(on);
    muteButton_->setIcon(style()->standardIcon(on ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
  });

  connect(playButton_, &QToolButton::clicked, this, &ControlPanel::playButton_clicked);
  connect(stopButton_, &QToolButton::clicked, this, [this] {
    if (engine_) engine_->stop();
  });
  connect(muteButton_, &QToolButton::clicked, this, [this](bool on) {
    if (engine_) engine_->setMute(on);
  });
  connect(volume_, &QSlider::sliderMoved, this, [this](int level) {
    if (engine_) engine_->setVolume(level);
  });
  connect(seekBar_, &QSlider::sliderReleased, this, &ControlPanel::seekBar_released);
  connect(seekBar_, &QSlider::actionTriggered, this, [this](int action) {
    // Page steps (clicks beside the handle) seek at once; drags seek on release.
    if (action != QAbstractSlider::SliderMove && engine_)
      engine_->seek(seekBar_->sliderPosition());
  });
}

QString ControlPanel::clockText(qint64 ms, bool withHours) {
  const qint64 s = std::max<qint64>(ms, 0) / 1000;
  if (withHours)
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'));
  return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'));
}

QString ControlPanel::timeText() const {
  const bool hours = length_ >= 3600 * 1000;
  return clockText(position_, hours) + QStringLiteral(" / ") + clockText(length_, hours);
}

void ControlPanel::engine_stateChanged(int state) {
  const bool playing = state == kPlaying || state == kBuffering || state == kOpening;
  playButton_->setIcon(glyph(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay, devicePixelRatioF()));
}

void ControlPanel::engine_positionChanged(qint64 ms) {
  position_ = ms;
  // Position comes with every frame; repaint only when the shown second moves.
  if (ms / 1000 == shownSecond_) return;
  shownSecond_ = ms / 1000;
  if (!seekBar_->isSliderDown()) seekBar_->setValue(static_cast<int>(std::min<qint64>(ms, INT_MAX)));
  refreshTime();
}

void ControlPanel::engine_lengthChanged(qint64 ms) {
  length_ = ms;
  seekBar_->setRange(0, static_cast<int>(std::min<qint64>(ms, INT_MAX)));
  seekBar_->setPageStep(std::max(1, static_cast<int>(std::min<qint64>(ms / 10, INT_MAX))));
  refreshTime();
}

void ControlPanel::refreshTime() { time_->setText(timeText()); }

void ControlPanel::playButton_clicked() {
  if (!engine_) return;
  const int state = engine_->state();
  if (state == kPlaying || state == kBuffering) engine_->pause();
  else engine_->play();
}

void ControlPanel::seekBar_released() {
  if (engine_) engine_->seek(seekBar_->value());
}

}  // namespace korvane::media
