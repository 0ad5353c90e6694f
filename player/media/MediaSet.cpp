// SPDX-License-Identifier: MIT
// Builds the playback and its views at their design-time placement.
#include "player/media/MediaSet.h"

#include "player/media/ControlPanel.h"
#include "player/media/EngineControl.h"
#include "player/media/ImageWindow.h"
#include "player/media/ViewBox.h"

namespace korvane::media {
namespace {

// Design-time placement (twips): left, top, width, height.
constexpr double kImagePlace[4] = {0, 0, 7215, 5055};
constexpr double kPanelPlace[4] = {0, 5040, 7215, 375};
constexpr double kStatusPlace[4] = {360, 5520, 30, 135};

std::unique_ptr<ViewBox> box(const char* name, const double (&place)[4], QWidget* widget) {
  return std::make_unique<ViewBox>(name, place[0], place[1], place[2], place[3], widget);
}

EngineOptions headless(EngineOptions options) {
  options.nullVideo = options.nullAudio = true;
  return options;
}

}  // namespace

MediaSet::MediaSet(const EngineOptions& options) : engine_(std::make_unique<MpvEngine>(headless(options))) {
  build(nullptr, true);
}

MediaSet::MediaSet(QWidget* form, bool withControlPanel, const EngineOptions& options)
    : engine_(std::make_unique<MpvEngine>(options)) {
  build(form, withControlPanel);
}

void MediaSet::build(QWidget* form, bool withControlPanel) {
  if (form) {
    image_ = new ImageWindow(*engine_, form);
    if (withControlPanel) panel_ = new ControlPanel(*engine_, form);
    status_ = new QWidget(form);
    status_->hide();
    // Children made after the form is shown are not shown with it.
    image_->show();
    if (panel_) panel_->show();
  }
  imageBox_ = box("RealAudio1", kImagePlace, image_);
  if (withControlPanel) panelBox_ = box("RealAudio2", kPanelPlace, panel_);
  statusBox_ = box("RealAudio3", kStatusPlace, status_);
  control_ = std::make_unique<EngineControl>(*engine_, *imageBox_, form);
  if (image_) {
    QObject::connect(image_, &ImageWindow::pointerPressed, control_.get(),
                     [control = control_.get()](int button, int x, int y) { control->pointerPressed(button, x, y); });
  }
}

MediaSet::~MediaSet() {
  // Widgets the form has not already deleted go first: the picture's render context
  // must be freed while the handle still exists.
  delete panel_.data();
  delete image_.data();
  delete status_.data();
  control_.reset();
  engine_.reset();
}

MediaControl& MediaSet::RealAudio1() { return *control_; }
ViewGeometry* MediaSet::RealAudio2() { return panelBox_.get(); }
ViewGeometry& MediaSet::RealAudio3() { return *statusBox_; }
ImageWindow* MediaSet::imageWindow() const { return image_; }
ControlPanel* MediaSet::controlPanel() const { return panel_; }
QWidget* MediaSet::statusBar() const { return status_; }

}  // namespace korvane::media
