// SPDX-License-Identifier: MIT
// One view's container geometry: twips kept exactly as set, the widget (if any) placed
// at the rounded pixels of its own logical DPI.
#pragma once

#include "player/media/MediaControl.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <string>

namespace korvane::media {

class ViewBox : public QObject, public ViewGeometry {
  Q_OBJECT

 public:
  // `widget` may be null (no display): the geometry is then only kept.
  ViewBox(std::string name, double left, double top, double width, double height, QWidget* widget = nullptr);

  double Left() const override { return left_; }
  double Top() const override { return top_; }
  double Width() const override { return width_; }
  double Height() const override { return height_; }
  // Non-finite values, and negative sizes, are refused with MediaError; nothing changes.
  void SetLeft(double twips) override;
  void SetTop(double twips) override;
  void SetWidth(double twips) override;
  void SetHeight(double twips) override;

  // While on, the widget covers its parent (full screen); the twips are still kept and
  // take effect again when it goes off.
  void setFillParent(bool on);
  bool fillsParent() const { return fill_; }

  QWidget* widget() const { return widget_; }
  double twipsPerPixelX() const;
  double twipsPerPixelY() const;
  // Where the twips put the widget, in pixels of its parent.
  QRect pixelRect() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  double checked(double twips, bool isSize, const char* what) const;
  void place();

  std::string name_;
  double left_, top_, width_, height_;
  QPointer<QWidget> widget_;
  bool fill_ = false;
};

}  // namespace korvane::media
