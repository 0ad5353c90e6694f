// SPDX-License-Identifier: MIT
// RealAudio1's view: the picture, drawn by libmpv's render API into an OpenGL window
// embedded in the form. A QOpenGLWindow in a window container draws straight to its
// surface; a QOpenGLWidget would add a composition pass that costs far more CPU.
#pragma once

#include <QOpenGLWindow>
#include <QPointer>
#include <QWidget>

#include <atomic>

struct mpv_render_context;

namespace korvane::media {

class MpvEngine;

// The OpenGL window. It owns the render context: made in initializeGL, freed (update
// callback cleared first) when the window goes or the engine shuts down, whichever is
// first, so it never outlives the libmpv handle.
class VideoSurface : public QOpenGLWindow {
  Q_OBJECT

 public:
  // `form` is the top-level widget that receives the keys and mouse presses.
  VideoSurface(MpvEngine& engine, QWidget* form);
  ~VideoSurface() override;

  void releaseRenderContext();
  // Frames libmpv has drawn here (0 until the first picture is up).
  int framesDrawn() const { return framesDrawn_; }

 signals:
  void pointerPressed(int button, int x, int y);
  // The first frame of a clip's picture has been swapped to the screen.
  void firstFrameShown();

 protected:
  void initializeGL() override;
  void paintGL() override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void forwardMouse(QMouseEvent* event);
  void onFrameSwapped();

  QPointer<MpvEngine> engine_;
  QPointer<QWidget> form_;
  mpv_render_context* render_ = nullptr;
  int framesDrawn_ = 0;
  bool newFrame_ = false;
};

// The widget the form places: black, and the surface filling it (no surface with vo=null).
class ImageWindow : public QWidget {
  Q_OBJECT

 public:
  ImageWindow(MpvEngine& engine, QWidget* form);
  VideoSurface* surface() const { return surface_; }

 signals:
  void pointerPressed(int button, int x, int y);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QPointer<VideoSurface> surface_;
};

// Button numbers of PointerEvent: left 1, right 2, middle 4.
int pointerButton(Qt::MouseButton button);

}  // namespace korvane::media
