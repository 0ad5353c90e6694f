// SPDX-License-Identifier: MIT
// What the player window holds: one playback and its three views, RealAudio1 (the image
// window, carrying every operation), RealAudio2 (the control panel, when the edition has
// one) and RealAudio3 (the hidden status bar), at their design-time placement.
//
// The program's main must call setlocale(LC_NUMERIC, "C") after creating the
// QApplication (which resets it from the environment): libmpv refuses to start otherwise.
#pragma once

#include "player/media/MediaControl.h"
#include "player/media/MpvEngine.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace korvane::media {

class ControlPanel;
class EngineControl;
class ImageWindow;
class ViewBox;

class MediaSet {
 public:
  // Without a display: no widgets, no OpenGL, vo=null and ao=null. It still plays and
  // reports everything; the views only keep their geometry. Throws MediaError.
  explicit MediaSet(const EngineOptions& options = {true, true, false});
  // The views as children of `form` (the player window). Picture through OpenGL unless
  // options.nullVideo. Throws MediaError.
  MediaSet(QWidget* form, bool withControlPanel, const EngineOptions& options = {});
  // Frees the views' widgets (the render context with them), then the engine.
  ~MediaSet();
  MediaSet(const MediaSet&) = delete;
  MediaSet& operator=(const MediaSet&) = delete;

  MediaControl& RealAudio1();
  ViewGeometry* RealAudio2();  // null when the edition has no control panel
  ViewGeometry& RealAudio3();

  MpvEngine& engine() { return *engine_; }
  ImageWindow* imageWindow() const;    // null without a display
  ControlPanel* controlPanel() const;  // null without one
  QWidget* statusBar() const;          // hidden

 private:
  void build(QWidget* form, bool withControlPanel);

  std::unique_ptr<MpvEngine> engine_;
  QPointer<ImageWindow> image_;
  QPointer<ControlPanel> panel_;
  QPointer<QWidget> status_;
  std::unique_ptr<ViewBox> imageBox_, panelBox_, statusBox_;
  std::unique_ptr<EngineControl> control_;
};

}  // namespace korvane::media
