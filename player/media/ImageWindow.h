// SPDX-License-Identifier: MIT
// RealAudio1's view: the picture, drawn by libmpv's render API. On X11 into a native GL
// window embedded in the form: it draws straight to its surface, where a QOpenGLWidget
// adds a composition pass that costs far more CPU. On Wayland such a window becomes a
// sub-surface, which the compositor maps only when the form's own surface commits again:
// a form with nothing else to repaint (no control panel) kept its picture black. There the
// picture is a QOpenGLWidget, drawn with the form's surface.
#pragma once

#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWindow>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <thread>

struct mpv_render_context;

namespace korvane::media {

class MpvEngine;

// The OpenGL window. It owns its GL context and the render context. The GL context is made
// on a worker thread (the first one loads the GL driver, slower than everything else at
// start-up) while the GUI thread builds the rest; the render context follows on the GUI
// thread, and the engine holds loads until then: libmpv opens video only with one.
// The render context is freed (update callback cleared first) when the window goes or the
// engine shuts down, whichever comes first, so it never outlives the libmpv handle.
class VideoSurface : public QWindow {
  Q_OBJECT

 public:
  // `form` is the top-level widget that receives the keys and mouse presses.
  VideoSurface(MpvEngine& engine, QWidget* form);
  ~VideoSurface() override;

  void releaseRenderContext();
  bool hasRenderContext() const { return ready_ && render_ != nullptr; }
  // Frames of a picture drawn and swapped to the screen here (0 until the first).
  int framesDrawn() const { return framesDrawn_; }

 signals:
  void pointerPressed(int button, int x, int y);

 protected:
  bool event(QEvent* event) override;
  void exposeEvent(QExposeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void prepareContext(QThread* guiThread, const QSurfaceFormat& format);  // worker thread
  void contextReady();
  void joinWorker();
  void render();
  void renderPosted();
  void forwardMouse(QMouseEvent* event);

  QPointer<MpvEngine> engine_;
  QPointer<QWidget> form_;
  // Written by the worker, read by the GUI thread only after joining it.
  std::thread worker_;
  bool ready_ = false;
  std::atomic<bool> renderPosted_{false};  // set by libmpv's render thread
  QOpenGLContext* gl_ = nullptr;
  mpv_render_context* render_ = nullptr;
  int framesDrawn_ = 0;
};

// The picture drawn with the form's surface. The render context is made in initializeGL,
// that is when the widget first shows with a size, and the engine holds loads until then.
// Presses and keys are not taken: they go on to the image window and the form.
class VideoWidget : public QOpenGLWidget {
  Q_OBJECT

 public:
  VideoWidget(MpvEngine& engine, QWidget* parent);
  ~VideoWidget() override;

  void releaseRenderContext();
  int framesDrawn() const { return framesDrawn_; }

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  void updatePosted();
  void swapped();

  QPointer<MpvEngine> engine_;
  bool initialized_ = false;
  std::atomic<bool> updatePosted_{false};  // set by libmpv's render thread
  mpv_render_context* render_ = nullptr;
  bool frame_ = false;  // the last paint drew a new frame
  int framesDrawn_ = 0;
};

// The widget the form places: black, and the picture filling it (none with vo=null).
class ImageWindow : public QWidget {
  Q_OBJECT

 public:
  ImageWindow(MpvEngine& engine, QWidget* form);
  // One of the two is set, as EngineOptions::picture chose.
  VideoSurface* surface() const { return surface_; }
  VideoWidget* pictureWidget() const { return widget_; }
  int framesDrawn() const;

 signals:
  void pointerPressed(int button, int x, int y);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<VideoSurface> surface_;
  QPointer<VideoWidget> widget_;
};

// Button numbers of PointerEvent: left 1, right 2, middle 4.
int pointerButton(Qt::MouseButton button);

}  // namespace korvane::media
