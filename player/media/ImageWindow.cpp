// SPDX-License-Identifier: MIT
// The picture: libmpv's OpenGL render API in a native GL window embedded in the form.
#include "player/media/ImageWindow.h"

#include "player/media/MpvEngine.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QResizeEvent>
#include <QThread>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <memory>

namespace korvane::media {

namespace {

// Made with the GL context current; null when libmpv refuses.
mpv_render_context* createRenderContext(MpvEngine& engine, void (*onUpdate)(void*), void* context) {
  if (!engine.handle()) return nullptr;
  mpv_opengl_init_params init{
      [](void*, const char* name) -> void* {
        QOpenGLContext* current = QOpenGLContext::currentContext();
        return current ? reinterpret_cast<void*>(current->getProcAddress(name)) : nullptr;
      },
      nullptr};
  mpv_render_param params[] = {
      {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
      {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  mpv_render_context* render = nullptr;
  if (mpv_render_context_create(&render, engine.handle(), params) < 0) return nullptr;
  mpv_render_context_set_update_callback(render, onUpdate, context);
  return render;
}

// Draws the current picture (or black without a render context) into `fbo`, `size` logical
// pixels at `ratio`; true when it was a new frame.
bool drawPicture(mpv_render_context* render, GLuint fbo, QSize size, qreal ratio) {
  if (!render) {
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    gl->glClearColor(0, 0, 0, 1);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    return false;
  }
  const bool frame = (mpv_render_context_update(render) & MPV_RENDER_UPDATE_FRAME) != 0;
  // Device pixels, rounded as the surface's own size is: sharp on a scaled screen, and
  // no unpainted line at a fractional scale.
  mpv_opengl_fbo target{static_cast<int>(fbo), static_cast<int>(std::lround(size.width() * ratio)),
                        static_cast<int>(std::lround(size.height() * ratio)), 0};
  int flipY = 1;
  mpv_render_param params[] = {
      {MPV_RENDER_PARAM_OPENGL_FBO, &target},
      {MPV_RENDER_PARAM_FLIP_Y, &flipY},
      {MPV_RENDER_PARAM_INVALID, nullptr},
  };
  mpv_render_context_render(render, params);
  return frame;
}

// Frees `render` (its update callback cleared first: none may run once it is gone) with
// its GL context current.
void freeRenderContext(mpv_render_context*& render) {
  mpv_render_context_set_update_callback(render, nullptr, nullptr);
  mpv_render_context_free(render);
  render = nullptr;
}

}  // namespace

int pointerButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
  }
}

VideoSurface::VideoSurface(MpvEngine& engine, QWidget* form) : engine_(&engine), form_(form) {
  setSurfaceType(QSurface::OpenGLSurface);
  // Keys stay with the form, so its key preview sees every one of them.
  setFlag(Qt::WindowDoesNotAcceptFocus);
  // Direct: the render context must be gone before the handle is.
  connect(&engine, &MpvEngine::shuttingDown, this, &VideoSurface::releaseRenderContext, Qt::DirectConnection);
  engine.holdLoads(true);
  worker_ = std::thread(&VideoSurface::prepareContext, this, QThread::currentThread(), requestedFormat());
}

VideoSurface::~VideoSurface() {
  releaseRenderContext();
  if (!ready_ && engine_) engine_->holdLoads(false);
  delete gl_;
}

void VideoSurface::prepareContext(QThread* guiThread, const QSurfaceFormat& format) {
  // The first GL context of the process loads the driver: the slow part, kept off the GUI thread.
  auto* gl = new QOpenGLContext;
  gl->setFormat(format);
  gl->create();
  // The context's share group is deleted later through its thread's event loop, and this
  // thread has none: both go to the GUI thread.
  gl->shareGroup()->moveToThread(guiThread);
  gl->moveToThread(guiThread);
  gl_ = gl;
  QMetaObject::invokeMethod(this, &VideoSurface::contextReady, Qt::QueuedConnection);
}

void VideoSurface::joinWorker() {
  if (worker_.joinable()) worker_.join();
}

void VideoSurface::contextReady() {
  if (ready_) return;
  joinWorker();
  ready_ = true;
  create();
  if (gl_->isValid() && gl_->makeCurrent(this)) {
    // libmpv's render thread: only post one repaint at a time to the GUI thread. It
    // draws at once: requestUpdate() would wait for Qt's next refresh tick, up to a
    // frame late, and libmpv times its frames from our swaps.
    if (engine_)
      render_ = createRenderContext(*engine_, [](void* context) {
        auto* self = static_cast<VideoSurface*>(context);
        if (!self->renderPosted_.exchange(true))
          QMetaObject::invokeMethod(self, &VideoSurface::renderPosted, Qt::QueuedConnection);
      }, this);
    gl_->doneCurrent();
  }
  // The waiting load goes out first; the window's first (black) frame is drawn meanwhile.
  if (engine_) engine_->holdLoads(false);
  render();
}

void VideoSurface::renderPosted() {
  renderPosted_ = false;
  render();
}

bool VideoSurface::event(QEvent* event) {
  if (event->type() == QEvent::UpdateRequest) {
    render();
    return true;
  }
  return QWindow::event(event);
}

void VideoSurface::exposeEvent(QExposeEvent*) {
  if (isExposed()) render();
}

void VideoSurface::render() {
  if (!ready_ || !isExposed() || !gl_ || !gl_->makeCurrent(this)) return;
  const bool frame = drawPicture(render_, gl_->defaultFramebufferObject(), size(), devicePixelRatio());
  gl_->swapBuffers(this);
  if (!render_) return;
  mpv_render_context_report_swap(render_);
  if (frame && engine_ && engine_->pictureSize() != QSize(2, 2)) ++framesDrawn_;
}

void VideoSurface::releaseRenderContext() {
  joinWorker();
  if (!render_) return;
  gl_->makeCurrent(this);
  freeRenderContext(render_);
  gl_->doneCurrent();
}

void VideoSurface::keyPressEvent(QKeyEvent* event) {
  if (!form_) return;
  std::unique_ptr<QEvent> copy(event->clone());
  QCoreApplication::sendEvent(form_, copy.get());
}

void VideoSurface::keyReleaseEvent(QKeyEvent* event) {
  if (!form_) return;
  std::unique_ptr<QEvent> copy(event->clone());
  QCoreApplication::sendEvent(form_, copy.get());
}

void VideoSurface::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit pointerPressed(pointerButton(event->button()), at.x(), at.y());
  forwardMouse(event);
}

void VideoSurface::mouseReleaseEvent(QMouseEvent* event) { forwardMouse(event); }
void VideoSurface::mouseDoubleClickEvent(QMouseEvent* event) { forwardMouse(event); }

void VideoSurface::wheelEvent(QWheelEvent* event) {
  if (!form_) return;
  const QPointF at = form_->mapFromGlobal(event->globalPosition());
  QWheelEvent copy(at, event->globalPosition(), event->pixelDelta(), event->angleDelta(), event->buttons(),
                   event->modifiers(), event->phase(), event->inverted());
  QCoreApplication::sendEvent(form_, &copy);
}

void VideoSurface::forwardMouse(QMouseEvent* event) {
  if (!form_) return;
  const QPointF at = form_->mapFromGlobal(event->globalPosition());
  QMouseEvent copy(event->type(), at, at, event->globalPosition(), event->button(), event->buttons(),
                   event->modifiers());
  QCoreApplication::sendEvent(form_, &copy);
}

VideoWidget::VideoWidget(MpvEngine& engine, QWidget* parent) : QOpenGLWidget(parent), engine_(&engine) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  // Direct: the render context must be gone before the handle is.
  connect(&engine, &MpvEngine::shuttingDown, this, &VideoWidget::releaseRenderContext, Qt::DirectConnection);
  connect(this, &QOpenGLWidget::frameSwapped, this, &VideoWidget::swapped);
  engine.holdLoads(true);
}

VideoWidget::~VideoWidget() {
  releaseRenderContext();
  if (!initialized_ && engine_) engine_->holdLoads(false);
}

void VideoWidget::initializeGL() {
  // Moved to another window, the widget gets a new context: the render context goes with the old one.
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &VideoWidget::releaseRenderContext,
          Qt::DirectConnection);
  if (engine_ && !render_)
    render_ = createRenderContext(*engine_, [](void* context) {
      auto* self = static_cast<VideoWidget*>(context);
      if (!self->updatePosted_.exchange(true))
        QMetaObject::invokeMethod(self, &VideoWidget::updatePosted, Qt::QueuedConnection);
    }, this);
  if (!initialized_ && engine_) engine_->holdLoads(false);
  initialized_ = true;
}

void VideoWidget::paintGL() { frame_ = drawPicture(render_, defaultFramebufferObject(), size(), devicePixelRatioF()); }

void VideoWidget::updatePosted() {
  updatePosted_ = false;
  update();
}

void VideoWidget::swapped() {
  if (!render_) return;
  mpv_render_context_report_swap(render_);
  if (frame_ && engine_ && engine_->pictureSize() != QSize(2, 2)) ++framesDrawn_;
  frame_ = false;
}

void VideoWidget::releaseRenderContext() {
  if (!render_) return;
  makeCurrent();
  freeRenderContext(render_);
  doneCurrent();
}

ImageWindow::ImageWindow(MpvEngine& engine, QWidget* form) : QWidget(form) {
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setFocusPolicy(Qt::NoFocus);
  if (engine.options().nullVideo) return;

  using Picture = EngineOptions::Picture;
  const Picture picture = engine.options().picture != Picture::Automatic ? engine.options().picture
                          : QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? Picture::InForm
                                                                                                  : Picture::Native;
  if (picture == Picture::InForm) {
    widget_ = new VideoWidget(engine, this);
    widget_->setGeometry(0, 0, 1, 1);  // sized with the window; never empty, or it would never start
    return;
  }
  surface_ = new VideoSurface(engine, form);
  QWidget* container = QWidget::createWindowContainer(surface_, this);
  container->setFocusPolicy(Qt::NoFocus);
  // A window container takes drops for the window inside it, which has no use for
  // them: files dropped on the picture go to the form.
  container->setAcceptDrops(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(container);
  connect(surface_, &VideoSurface::pointerPressed, this, &ImageWindow::pointerPressed);
}

int ImageWindow::framesDrawn() const {
  return surface_ ? surface_->framesDrawn() : widget_ ? widget_->framesDrawn() : 0;
}

void ImageWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit pointerPressed(pointerButton(event->button()), at.x(), at.y());
  QWidget::mousePressEvent(event);  // ignored: the form sees it too
}

void ImageWindow::resizeEvent(QResizeEvent* event) {
  if (widget_) widget_->resize(size().expandedTo(QSize(1, 1)));
  QWidget::resizeEvent(event);
}

}  // namespace korvane::media
