// SPDX-License-Identifier: MIT
// One view's container geometry in twips.
#include "player/media/ViewBox.h"

#include <QEvent>

#include <algorithm>
#include <cmath>

namespace korvane::media {
namespace {

constexpr double kTwipsPerInch = 1440;
constexpr double kPixelLimit = 1 << 24;  // keeps rounding inside int whatever is set

int pixels(double twips, double twipsPerPixel) {
  return static_cast<int>(std::lround(std::clamp(twips / twipsPerPixel, -kPixelLimit, kPixelLimit)));
}

}  // namespace

ViewBox::ViewBox(std::string name, double left, double top, double width, double height, QWidget* widget)
    : name_(std::move(name)), left_(left), top_(top), width_(width), height_(height), widget_(widget) {
  place();
}

double ViewBox::checked(double twips, bool isSize, const char* what) const {
  if (!std::isfinite(twips) || (isSize && twips < 0))
    throw MediaError(name_ + ": " + what + " refused: " + std::to_string(twips));
  return twips;
}

void ViewBox::SetLeft(double twips) {
  left_ = checked(twips, false, "left");
  place();
}
void ViewBox::SetTop(double twips) {
  top_ = checked(twips, false, "top");
  place();
}
void ViewBox::SetWidth(double twips) {
  width_ = checked(twips, true, "width");
  place();
}
void ViewBox::SetHeight(double twips) {
  height_ = checked(twips, true, "height");
  place();
}

double ViewBox::twipsPerPixelX() const {
  const int dpi = widget_ ? widget_->logicalDpiX() : 0;
  return dpi > 0 ? kTwipsPerInch / dpi : 15;
}

double ViewBox::twipsPerPixelY() const {
  const int dpi = widget_ ? widget_->logicalDpiY() : 0;
  return dpi > 0 ? kTwipsPerInch / dpi : 15;
}

QRect ViewBox::pixelRect() const {
  const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
  return {pixels(left_, tx), pixels(top_, ty), pixels(width_, tx), pixels(height_, ty)};
}

void ViewBox::setFillParent(bool on) {
  if (fill_ == on) return;
  fill_ = on;
  if (widget_ && widget_->parentWidget()) {
    if (on) widget_->parentWidget()->installEventFilter(this);
    else widget_->parentWidget()->removeEventFilter(this);
  }
  place();
}

bool ViewBox::eventFilter(QObject* watched, QEvent* event) {
  if (fill_ && event->type() == QEvent::Resize && widget_ && watched == widget_->parentWidget()) place();
  return QObject::eventFilter(watched, event);
}

void ViewBox::place() {
  if (!widget_) return;
  QWidget* parent = widget_->parentWidget();
  if (fill_ && parent) {
    widget_->setGeometry(parent->rect());
    widget_->raise();
  } else {
    widget_->setGeometry(pixelRect());
  }
}

}  // namespace korvane::media
