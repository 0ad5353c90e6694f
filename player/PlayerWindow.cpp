// SPDX-License-Identifier: MIT
// The Qt side of the player window. Sizes cross this boundary as twips of the outer
// window (frame included); the window system works in pixels of the client area.
#include "player/PlayerWindow.h"

#include "platform/InstanceRegistry.h"
#include "player/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include "platform/KeyboardMap.h"
#include "platform/SessionPlatform.h"
#include "platform/X11Title.h"
#include "player/KeyCodes.h"

#include <cmath>
#include <cstdio>

namespace korvane::player {

namespace {

int toPixels(double twips, double twipsPerPixel) {
  if (!std::isfinite(twips)) throw WindowError("not a number");
  double px = std::nearbyint(twips / twipsPerPixel);
  if (std::fabs(px) > 1e6) throw WindowError("out of range");
  return int(px);
}

Qt::WindowFlags editionFlags() {
  switch (kEdition.border) {
    case Border::Sizable:
      return Qt::Window;
    case Border::SizableToolWindow:
      // A small framed window without minimise and maximise, kept out of the taskbar.
      // On Wayland the toolkit would draw a caption bar of its own with both buttons
      // instead: there the window goes bare, and the compositor moves it. Under a
      // compositor's X window manager a utility window may never get the keys, so there
      // it is a plain window with the same frame.
      if (!platform::windowPositionsKnown()) return Qt::Tool | Qt::FramelessWindowHint;
      if (platform::waylandSession())
        return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    case Border::None:
      if (platform::waylandSession()) return Qt::Window | Qt::FramelessWindowHint;
      return Qt::Tool | Qt::FramelessWindowHint;
  }
  return Qt::Window;
}

}  // namespace

PlayerWindow::PlayerWindow(platform::InstanceRegistry* registry)
    : QWidget(nullptr, editionFlags()), registry_(registry) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(kEdition.acceptsDrops);
  setWindowTitle(QString::fromUtf8(kEdition.designCaption.data(), qsizetype(kEdition.designCaption.size())));
  applicationTitle_ = std::string(kEdition.applicationTitle);
  if (registry_) {
    registry_->setCaption(windowTitle());
    registry_->setApplicationTitle(QString::fromStdString(applicationTitle_));
  }
  // Design position and client size.
  const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
  SetLeft(kEdition.designLeft);
  SetTop(kEdition.designTop);
  resize(toPixels(kEdition.designWidth, tx), toPixels(kEdition.designHeight, ty));

  timer1_.setInterval(1000);
  connect(&timer1_, &QTimer::timeout, this, [this] {
    if (form_) form_->Timer1_Timer();
  });
  // Key preview: the window sees every key before the pane that has the focus.
  qApp->installEventFilter(this);
}

PlayerWindow::~PlayerWindow() { qApp->removeEventFilter(this); }

void PlayerWindow::attach(Form1* form) { form_ = form; }

std::string PlayerWindow::Caption() const { return windowTitle().toStdString(); }

void PlayerWindow::SetCaption(std::string_view caption) {
  const QString title = QString::fromUtf8(caption.data(), qsizetype(caption.size()));
  setWindowTitle(title);
  keepEmptyTitleEmpty();
  if (registry_) registry_->setCaption(title);
}

void PlayerWindow::keepEmptyTitleEmpty() {
  // Qt puts the program's name on an untitled window; the top and full-screen editions'
  // windows have no caption, so the X11 title properties are cleared again.
  if (!windowTitle().isEmpty() || !testAttribute(Qt::WA_WState_Created)) return;
  platform::clearX11Title(winId());
}

void PlayerWindow::setVisible(bool visible) {
  // The full-screen edition sizes a plain window to the screen, which X11 window
  // managers leave at the screen's corner; a Wayland compositor (and its X window
  // manager) places such a window below its panels, so there it asks to be a
  // full-screen window.
  if constexpr (kEdition.border == Border::None) {
    if (visible && platform::waylandSession() && !isFullScreen())
      setWindowState(windowState() | Qt::WindowFullScreen);
  }
  QWidget::setVisible(visible);
}

void PlayerWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  keepEmptyTitleEmpty();
  // A new window asks for the keys once, as windows do when they open; the window
  // manager decides.
  if (!event->spontaneous() && !activationAsked_) {
    activationAsked_ = true;
    activateWindow();
  }
}

std::string PlayerWindow::ApplicationTitle() const { return applicationTitle_; }

void PlayerWindow::SetApplicationTitle(std::string_view title) {
  applicationTitle_ = std::string(title);
  if (registry_) registry_->setApplicationTitle(QString::fromStdString(applicationTitle_));
}

QMargins PlayerWindow::frame() const {
  const QRect outer = frameGeometry(), inner = geometry();
  return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                  outer.bottom() - inner.bottom());
}

double PlayerWindow::Left() const {
  return heldPosition_ ? heldPosition_->x() : frameGeometry().x() * TwipsPerPixelX();
}
double PlayerWindow::Top() const {
  return heldPosition_ ? heldPosition_->y() : frameGeometry().y() * TwipsPerPixelY();
}
double PlayerWindow::Width() const { return frameGeometry().width() * TwipsPerPixelX(); }
double PlayerWindow::Height() const { return frameGeometry().height() * TwipsPerPixelY(); }

// Where the window system never tells a window where it is (Wayland), a position is
// neither applied nor measured: the one set last is kept and read back, so the settings
// file keeps its values instead of learning a meaningless one.
void PlayerWindow::SetLeft(double twips) {
  const int px = toPixels(twips, TwipsPerPixelX());
  if (!platform::windowPositionsKnown()) {
    heldPosition_ = QPointF(twips, heldPosition_ ? heldPosition_->y() : 0.0);
    return;
  }
  move(px, frameGeometry().y());
}
void PlayerWindow::SetTop(double twips) {
  const int px = toPixels(twips, TwipsPerPixelY());
  if (!platform::windowPositionsKnown()) {
    heldPosition_ = QPointF(heldPosition_ ? heldPosition_->x() : 0.0, twips);
    return;
  }
  move(frameGeometry().x(), px);
}

void PlayerWindow::SetWidth(double twips) { setOuterSize(toPixels(twips, TwipsPerPixelX()), std::nullopt); }
void PlayerWindow::SetHeight(double twips) { setOuterSize(std::nullopt, toPixels(twips, TwipsPerPixelY())); }

void PlayerWindow::setOuterSize(std::optional<int> width, std::optional<int> height) {
  if ((width && *width < 0) || (height && *height < 0)) throw WindowError("negative size");
  if (isMinimized() || isMaximized() || isFullScreen()) throw WindowError("not a normal window");
  const QMargins m = frame();
  const int w = width ? *width - m.left() - m.right() : geometry().width();
  const int h = height ? *height - m.top() - m.bottom() : geometry().height();
  if (!frameKnown_) pendingOuter_ = QSize(width ? *width : frameGeometry().width(), height ? *height : frameGeometry().height());
  resize(std::max(w, 0), std::max(h, 0));
}

void PlayerWindow::applyPendingOuterSize() {
  if (frameKnown_ || !isVisible()) return;
  const QMargins m = frame();
  if (m.isNull()) return;  // no window manager frame (yet)
  frameKnown_ = true;
  if (!pendingOuter_) return;
  const QSize outer = *pendingOuter_;
  pendingOuter_.reset();
  if (!isMinimized() && !isMaximized() && !isFullScreen())
    resize(std::max(outer.width() - m.left() - m.right(), 0), std::max(outer.height() - m.top() - m.bottom(), 0));
}

int PlayerWindow::WindowState() const {
  if (isMinimized()) return kMinimized;
  if (isMaximized()) return kMaximized;
  return kNormal;
}

void PlayerWindow::SetFocus() {
  if (!isVisible()) throw WindowError("the window is not shown");
  // Within the program only. Activating here took the keys from the program's own modal
  // dialog (a key typed then was lost) and from whatever program the user was typing in.
  if (QApplication::activeModalWidget()) return;
  setFocus(Qt::OtherFocusReason);
}

void PlayerWindow::SetTopmost(int, int, int, int) {
  if (!platform::windowPositionsKnown()) {
    // Wayland leaves stacking to the compositor; say so rather than fail silently.
    std::fprintf(stderr, "%s: AlwaysFront: this window system (%s) does not let a program keep its window "
                 "on top; the window stays as the desktop places it. Start the program on X11 "
                 "(XWayland) to have it.\n",
                 kEdition.programName.data(), qPrintable(QGuiApplication::platformName()));
    return;
  }
  // Changing a window flag re-creates the native window; keep its place and size.
  const QRect keep = geometry();
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setGeometry(keep);
  if (wasVisible) show();
}

double PlayerWindow::TwipsPerPixelX() const {
  const QScreen* s = screen();
  const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

double PlayerWindow::TwipsPerPixelY() const {
  const QScreen* s = screen();
  const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
  return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

double PlayerWindow::ScreenWidth() const {
  const QScreen* s = screen();
  return (s ? s->geometry().width() : 0) * TwipsPerPixelX();
}

double PlayerWindow::ScreenHeight() const {
  const QScreen* s = screen();
  return (s ? s->geometry().height() : 0) * TwipsPerPixelY();
}

void PlayerWindow::ShowCursor(bool show) {
  // An override reaches the picture's own native window too.
  if (!show && !cursorHidden_) {
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    cursorHidden_ = true;
  } else if (show && cursorHidden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorHidden_ = false;
  }
}

void PlayerWindow::EnableTimer1() {
  if constexpr (kEdition.hasTimer1) {
    if (!timer1_.isActive()) timer1_.start();
  }
}

bool PlayerWindow::Timer1Enabled() const { return timer1_.isActive(); }

void PlayerWindow::EndProgram() {
  ending_ = true;
  timer1_.stop();
  hide();
  QCoreApplication::exit(0);
}

bool PlayerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !form_ || ending_) return false;
  // Widgets of this window only; the picture's native window forwards its keys to us.
  if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const int code = virtualKeyCode(key->key(), key->modifiers() & Qt::KeypadModifier,
                                  platform::unshiftedKeysym(key->nativeScanCode()));
  if (code == 0) return false;
  std::int16_t keyCode = std::int16_t(code);
  form_->Form_KeyDown(keyCode, int(key->modifiers()));
  return keyCode == 0 || ending_;
}

void PlayerWindow::runResizeHandler() {
  if (!form_ || isFullScreen()) return;  // full screen belongs to the picture
  // Passes that resize the window run nested; a window at its target size ends them.
  if (resizeDepth_ > 8) return;
  ++resizeDepth_;
  form_->Form_Resize();
  --resizeDepth_;
}

void PlayerWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyPendingOuterSize();
  stateChangePending_ = false;  // this run covers a state change that came with it
  runResizeHandler();
}

void PlayerWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  applyPendingOuterSize();
}

void PlayerWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Maximising or restoring also resizes: one run for both, as one size notification
  // carries both elsewhere. A state change alone (minimising) runs it by itself.
  if (event->type() == QEvent::WindowStateChange && !stateChangePending_) {
    stateChangePending_ = true;
    QTimer::singleShot(50, this, [this] {
      if (!stateChangePending_) return;
      stateChangePending_ = false;
      runResizeHandler();
    });
  }
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
  std::int16_t cancel = 0;
  if (form_) form_->Form_Unload(cancel);
  timer1_.stop();
  event->accept();
  // The player has one window: when it goes, the program ends.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (kEdition.acceptsDrops && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* event) {
  if (!form_) return;
  std::optional<std::vector<std::string>> files;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    if (!files) files.emplace();
    files->push_back(url.toLocalFile().toStdString());
  }
  form_->Form_OLEDragDrop(files);
  event->acceptProposedAction();
}

}  // namespace korvane::player
