// SPDX-License-Identifier: MIT
// RealAudio1: the media control interface on top of the libmpv engine, with the image
// window's container geometry and the full-screen switch.
#pragma once

#include "player/media/MediaControl.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace korvane::media {

class MpvEngine;
class ViewBox;

class EngineControl : public QObject, public MediaControl {
  Q_OBJECT

 public:
  // `view` is the image window's geometry; `form` the top-level window made full screen
  // (null: OptionS is only kept). Neither is owned; both outlive this object.
  EngineControl(MpvEngine& engine, ViewBox& view, QWidget* form);

  double Left() const override;
  double Top() const override;
  double Width() const override;
  double Height() const override;
  void SetLeft(double twips) override;
  void SetTop(double twips) override;
  void SetWidth(double twips) override;
  void SetHeight(double twips) override;

  void SetEventSink(MediaEvents* sink) override { sink_ = sink; }
  std::string SourceUrl() const override;
  void SetSourceUrl(std::string_view url) override;
  void Play() override;
  void Pause() override;
  std::int32_t Position() const override;
  std::int32_t PlayState() const override;
  std::int32_t Length() const override;
  std::string ClipLabel() const override;
  std::string ClipSublabel() const override;
  std::int32_t ClipWidth() const override;
  std::int32_t ClipHeight() const override;
  void Seek(std::int32_t ms) override;
  void NextEntry() override;
  void PrevEntry() override;
  std::int16_t Level() const override;
  void SetLevel(std::int16_t level) override;
  bool OptionM() const override;
  void SetOptionM(bool on) override;
  bool OptionL() const override;
  void SetOptionL(bool on) override;
  bool OptionS() const override { return fullScreen_; }
  void OptionSOff() override;
  void OptionSOn() override;
  void PeriodCommand() override;
  void SetStartupFlag(bool on) override { startupFlag_ = on; }
  bool startupFlag() const { return startupFlag_; }

  // Raises PointerEvent; the image window calls it on a button press.
  void pointerPressed(int button, int x, int y);

 private:
  MpvEngine& engine_;
  ViewBox& view_;
  QPointer<QWidget> form_;
  MediaEvents* sink_ = nullptr;
  bool fullScreen_ = false;
  bool startupFlag_ = false;
  Qt::WindowStates savedWindowState_;
  double saved_[4] = {};  // container geometry before full screen
};

}  // namespace korvane::media
