// SPDX-License-Identifier: MIT
// RealAudio1's operations, passed to the engine; values come from its caches.
#include "player/media/EngineControl.h"

#include "player/media/MpvEngine.h"
#include "player/media/ViewBox.h"

#include <algorithm>
#include <limits>

namespace korvane::media {
namespace {

std::int32_t toInt32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

EngineControl::EngineControl(MpvEngine& engine, ViewBox& view, QWidget* form)
    : engine_(engine), view_(view), form_(form) {
  connect(&engine, &MpvEngine::stateChanged, this, [this](int state) {
    if (sink_) sink_->StateChange(state);
  });
}

double EngineControl::Left() const { return view_.Left(); }
double EngineControl::Top() const { return view_.Top(); }
double EngineControl::Width() const { return view_.Width(); }
double EngineControl::Height() const { return view_.Height(); }
void EngineControl::SetLeft(double twips) { view_.SetLeft(twips); }
void EngineControl::SetTop(double twips) { view_.SetTop(twips); }
void EngineControl::SetWidth(double twips) { view_.SetWidth(twips); }
void EngineControl::SetHeight(double twips) { view_.SetHeight(twips); }

std::string EngineControl::SourceUrl() const { return engine_.sourceUrl(); }
void EngineControl::SetSourceUrl(std::string_view url) { engine_.open(url); }
void EngineControl::Play() { engine_.play(); }
void EngineControl::Pause() { engine_.pause(); }
std::int32_t EngineControl::Position() const { return toInt32(engine_.positionMs()); }
std::int32_t EngineControl::PlayState() const { return engine_.state(); }
std::int32_t EngineControl::Length() const { return toInt32(engine_.lengthMs()); }
std::string EngineControl::ClipLabel() const { return engine_.title(); }
std::string EngineControl::ClipSublabel() const { return engine_.artist(); }
std::int32_t EngineControl::ClipWidth() const { return engine_.pictureSize().width(); }
std::int32_t EngineControl::ClipHeight() const { return engine_.pictureSize().height(); }
void EngineControl::Seek(std::int32_t ms) { engine_.seek(ms); }
void EngineControl::NextEntry() { engine_.nextEntry(); }
void EngineControl::PrevEntry() { engine_.prevEntry(); }
std::int16_t EngineControl::Level() const { return static_cast<std::int16_t>(engine_.volume()); }
void EngineControl::SetLevel(std::int16_t level) { engine_.setVolume(level); }
bool EngineControl::OptionM() const { return engine_.muted(); }
void EngineControl::SetOptionM(bool on) { engine_.setMute(on); }
bool EngineControl::OptionL() const { return engine_.looping(); }
void EngineControl::SetOptionL(bool on) { engine_.setLoop(on); }
void EngineControl::PeriodCommand() { engine_.stop(); }

void EngineControl::OptionSOn() {
  if (fullScreen_) return;
  fullScreen_ = true;
  saved_[0] = view_.Left();
  saved_[1] = view_.Top();
  saved_[2] = view_.Width();
  saved_[3] = view_.Height();
  // The form itself goes full screen with the picture over it: moving the GL surface to
  // another top-level window would rebuild the render context and lose the video track.
  if (QWidget* window = form_ ? form_->window() : nullptr) {
    savedWindowState_ = window->windowState();
    view_.setFillParent(true);
    window->setWindowState(savedWindowState_ | Qt::WindowFullScreen);
    window->show();
  }
}

void EngineControl::OptionSOff() {
  if (!fullScreen_) return;
  fullScreen_ = false;
  // The picture goes back first: the window may take its normal size back within the state
  // change, and the form lays out then; restored after that, the picture would keep the
  // place it had before full screen even where the window came back at another size.
  view_.setFillParent(false);
  view_.SetLeft(saved_[0]);
  view_.SetTop(saved_[1]);
  view_.SetWidth(saved_[2]);
  view_.SetHeight(saved_[3]);
  if (QWidget* window = form_ ? form_->window() : nullptr) {
    window->setWindowState(savedWindowState_ & ~Qt::WindowFullScreen);
    window->show();
  }
}

void EngineControl::pointerPressed(int button, int x, int y) {
  if (sink_) sink_->PointerEvent(button, x, y);
}

}  // namespace korvane::media
