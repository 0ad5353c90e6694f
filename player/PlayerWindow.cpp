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
#include "platform/X11Geometry.h"
#include "platform/X11Title.h"
#include "player/KeyCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvane::player {

namespace {

// X11 carries positions as signed and sizes as unsigned 16-bit numbers; xcb asserts
// beyond them, so a saved geometry from a hand-edited file is brought within.
constexpr int kX11Min = -32768, kX11Max = 32767;
// The smallest client area a user can see and take hold of; an empty one is never mapped.
constexpr int kMinClientWidth = 100, kMinClientHeight = 30;

int toPixels(double twips, double twipsPerPixel) {
  if (!std::isfinite(twips)) throw WindowError("not a number");
  return int(std::clamp(std::nearbyint(twips / twipsPerPixel), double(kX11Min), double(kX11Max)));
}

// Qt reads "[*]" in a title as the place of its modified marker and drops it; doubled, it
// shows as typed.
QString literalTitle(QString text) { return text.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")); }

// The local files among dropped URLs, as bytes: the URL's percent-encoding carries a name
// that is not UTF-8, which a QString would not.
std::vector<std::string> localFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile())
      files.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
  return files;
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
  caption_ = std::string(kEdition.designCaption);
  const QString caption = QString::fromStdString(caption_);
  setWindowTitle(literalTitle(caption));
  applicationTitle_ = std::string(kEdition.applicationTitle);
  if (registry_) {
    registry_->setCaption(caption);
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

std::string PlayerWindow::Caption() const { return caption_; }

void PlayerWindow::SetCaption(std::string_view caption) {
  caption_ = std::string(caption);
  // Bytes that are not UTF-8 show as the desktop shows such names; the caption keeps them.
  const QString title = QString::fromUtf8(caption.data(), qsizetype(caption.size()));
  setWindowTitle(literalTitle(title));
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
    // The load handler's layout passes ran before the window was shown and stopped at
    // their focus step; without a window manager no resize follows to run them again.
    runResizeHandler();
  }
  rememberNormalGeometry();
}

std::string PlayerWindow::ApplicationTitle() const { return applicationTitle_; }

void PlayerWindow::SetApplicationTitle(std::string_view title) {
  applicationTitle_ = std::string(title);
  if (registry_) registry_->setApplicationTitle(QString::fromStdString(applicationTitle_));
}

QMargins PlayerWindow::frame() const {
  const QWindow* w = windowHandle();
  if (!w) return {};
  // On X11 only the window manager's own word counts (see x11FrameExtents). Elsewhere the
  // window system's margins: the difference of Qt's two rectangles is wrong (even
  // negative) while one of them waits for the window manager's answer.
  const auto told = testAttribute(Qt::WA_WState_Created) ? platform::x11FrameExtents(winId()) : std::nullopt;
  const QMargins m = told ? *told / w->devicePixelRatio() : w->frameMargins();
  return m.left() >= 0 && m.top() >= 0 && m.right() >= 0 && m.bottom() >= 0 ? m : QMargins();
}

QRect PlayerWindow::outerGeometry() const {
  // The picture filling the screen leaves the window, to the user, where they placed it.
  if (isFullScreen() && normalOuter_.isValid()) return normalOuter_;
  QRect outer = shownFrameGeometry();
  // Closed while still being put in place, it belongs where it was going.
  if (placing_) outer.moveTopLeft(*placing_);
  return outer;
}

QRect PlayerWindow::shownFrameGeometry() const {
  // Qt's record of a shown window's place can miss the window manager's move as it frames
  // the window (saved, it made the window creep by its title bar at every start); the
  // window system knows where it is.
  const QMargins m = frame();
  QRect outer = geometry().marginsAdded(m);
  if (isVisible() && testAttribute(Qt::WA_WState_Created))
    if (const auto client = serverClientPosition()) outer.moveTopLeft(*client - QPoint(m.left(), m.top()));
  return outer;
}

std::optional<QPoint> PlayerWindow::serverClientPosition() const {
  const auto client = platform::x11ScreenPosition(winId());
  if (!client) return std::nullopt;
  // The server counts device pixels; Qt scales them about the screen's corner.
  const QPoint origin = screen()->geometry().topLeft();
  return origin + (*client - origin) / windowHandle()->devicePixelRatio();
}

void PlayerWindow::rememberNormalGeometry() {
  if (isVisible() && windowState() == Qt::WindowNoState) normalOuter_ = shownFrameGeometry();
}

double PlayerWindow::Left() const {
  return heldPosition_ ? heldPosition_->x() : outerGeometry().x() * TwipsPerPixelX();
}
double PlayerWindow::Top() const {
  return heldPosition_ ? heldPosition_->y() : outerGeometry().y() * TwipsPerPixelY();
}
double PlayerWindow::Width() const { return outerGeometry().width() * TwipsPerPixelX(); }
double PlayerWindow::Height() const { return outerGeometry().height() * TwipsPerPixelY(); }

// Where the window system never tells a window where it is (Wayland), a position is
// neither applied nor measured: the one set last is kept and read back, so the settings
// file keeps its values instead of learning a meaningless one.
void PlayerWindow::SetLeft(double twips) {
  if (!platform::windowPositionsKnown()) {
    heldPosition_ = QPointF(twips, heldPosition_ ? heldPosition_->y() : 0.0);
    return;
  }
  moveOuter(toPixels(twips, TwipsPerPixelX()), std::nullopt);
}
void PlayerWindow::SetTop(double twips) {
  if (!platform::windowPositionsKnown()) {
    heldPosition_ = QPointF(heldPosition_ ? heldPosition_->x() : 0.0, twips);
    return;
  }
  moveOuter(std::nullopt, toPixels(twips, TwipsPerPixelY()));
}

void PlayerWindow::moveOuter(std::optional<int> x, std::optional<int> y) {
  QPoint at = pendingPosition_.value_or(frameGeometry().topLeft());
  if (x) at.setX(*x);
  if (y) at.setY(*y);
  if (!frameKnown_) pendingPosition_ = at;
  move(at);
}

void PlayerWindow::SetWidth(double twips) { setOuterSize(toPixels(twips, TwipsPerPixelX()), std::nullopt); }
void PlayerWindow::SetHeight(double twips) { setOuterSize(std::nullopt, toPixels(twips, TwipsPerPixelY())); }

void PlayerWindow::setOuterSize(std::optional<int> width, std::optional<int> height) {
  if ((width && *width < 0) || (height && *height < 0)) throw WindowError("negative size");
  if (isMinimized() || isMaximized() || isFullScreen()) throw WindowError("not a normal window");
  const QMargins m = frame();
  const int w = width ? *width - m.left() - m.right() : geometry().width();
  const int h = height ? *height - m.top() - m.bottom() : geometry().height();
  const QSize framed = geometry().marginsAdded(m).size();
  if (!frameKnown_) pendingOuter_ = QSize(width ? *width : framed.width(), height ? *height : framed.height());
  resize(clampedClient(QSize(w, h), m));
}

QSize PlayerWindow::clampedClient(QSize client, const QMargins& m) const {
  // At most the whole desktop (every screen together) with the frame, and what X11 carries.
  const QScreen* s = screen();
  const QSize desktop = s ? s->virtualSize() : QSize(kX11Max, kX11Max);
  const int mostWidth = std::min(desktop.width(), kX11Max) - m.left() - m.right();
  const int mostHeight = std::min(desktop.height(), kX11Max) - m.top() - m.bottom();
  return QSize(std::clamp(client.width(), kMinClientWidth, std::max(mostWidth, kMinClientWidth)),
               std::clamp(client.height(), kMinClientHeight, std::max(mostHeight, kMinClientHeight)));
}

void PlayerWindow::applyPendingOuterSize() {
  if (frameKnown_ || !isVisible()) return;
  const QMargins m = frame();
  if (m.isNull()) return;  // no window manager frame (yet)
  frameKnown_ = true;
  const bool normal = !isMinimized() && !isMaximized() && !isFullScreen();
  if (pendingPosition_) {
    if (normal) {
      placing_ = *pendingPosition_;
      placeTries_ = 0;
      keepPlacing();
    }
    pendingPosition_.reset();
  }
  if (!pendingOuter_) return;
  const QSize outer = *pendingOuter_;
  pendingOuter_.reset();
  if (normal) resize(clampedClient(outer.shrunkBy(m), m));
}

void PlayerWindow::keepPlacing() {
  if (!placing_) return;
  const QMargins m = frame();
  const QPoint client = *placing_ + QPoint(m.left(), m.top());
  const auto now = serverClientPosition();
  // Placed as the client area, from the window system's margins: Qt's frame-inclusive move
  // mixes its stale record of the place with the new margins. A window manager still busy
  // framing the window may drop the request: checked until it holds, for a few seconds.
  if ((now && *now == client) || ++placeTries_ > 30 || isMinimized() || isMaximized() || isFullScreen())
    return placing_.reset();
  setGeometry(QRect(client, size()));
  if (!now) return placing_.reset();  // nothing to check it by
  // A Wayland compositor's X window manager places windows itself; asked again and again,
  // Weston's never gave the window the keys.
  if (platform::waylandSession()) return placing_.reset();
  QTimer::singleShot(100, this, &PlayerWindow::keepPlacing);
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

double PlayerWindow::WorkAreaWidth() const {
  const QScreen* s = screen();
  return (s ? s->availableGeometry().width() : 0) * TwipsPerPixelX();
}

double PlayerWindow::WorkAreaHeight() const {
  const QScreen* s = screen();
  return (s ? s->availableGeometry().height() : 0) * TwipsPerPixelY();
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
  rememberNormalGeometry();
  stateChangePending_ = false;  // this run covers a state change that came with it
  runResizeHandler();
}

void PlayerWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  applyPendingOuterSize();
  rememberNormalGeometry();
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

// Only files are played: anything else (a web address) is refused, so the source is not
// told it was taken.
void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  // Kept for the drop: an X11 drag's list read a second time, at the drop, comes back empty.
  dragFiles_ = localFiles(event->mimeData());
  if (kEdition.acceptsDrops && !dragFiles_.empty()) event->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files = std::move(dragFiles_);
  dragFiles_.clear();
  if (!form_ || files.empty()) return event->ignore();
  form_->Form_OLEDragDrop(std::move(files));
  event->acceptProposedAction();
}

}  // namespace korvane::player
