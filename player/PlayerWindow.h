// SPDX-License-Identifier: MIT
// The player's top-level window: a thin Qt shell that implements the form's window
// host and hands the window system's events (keys first, resize, close, drops, the
// one-second timer) to the form.
#pragma once

#include "player/EditionProfile.h"
#include "player/FormHost.h"

#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {
class InstanceRegistry;
}

namespace korvane::player {

class Form1;

class PlayerWindow : public QWidget, public WindowHost {
  Q_OBJECT

 public:
  explicit PlayerWindow(platform::InstanceRegistry* registry);
  ~PlayerWindow() override;

  // The form receives the window's events from then on.
  void attach(Form1* form);

  // WindowHost
  std::string Caption() const override;
  void SetCaption(std::string_view caption) override;
  std::string ApplicationTitle() const override;
  void SetApplicationTitle(std::string_view title) override;
  double Left() const override;
  double Top() const override;
  double Width() const override;
  double Height() const override;
  void SetLeft(double twips) override;
  void SetTop(double twips) override;
  void SetWidth(double twips) override;
  void SetHeight(double twips) override;
  int WindowState() const override;
  void SetFocus() override;
  void SetTopmost(int x, int y, int cx, int cy) override;
  double TwipsPerPixelX() const override;
  double TwipsPerPixelY() const override;
  double ScreenWidth() const override;
  double ScreenHeight() const override;
  double WorkAreaWidth() const override;
  double WorkAreaHeight() const override;
  void ShowCursor(bool show) override;
  void EnableTimer1() override;
  bool Timer1Enabled() const override;
  void EndProgram() override;

  void setVisible(bool visible) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QMargins frame() const;
  QRect outerGeometry() const;
  QRect shownFrameGeometry() const;
  std::optional<QPoint> serverClientPosition() const;
  void moveOuter(std::optional<int> x, std::optional<int> y);
  void setOuterSize(std::optional<int> width, std::optional<int> height);
  QSize clampedClient(QSize client, const QMargins& frame) const;
  void rememberNormalGeometry();
  void keepPlacing();
  void applyPendingOuterSize();
  void runResizeHandler();
  void keepEmptyTitleEmpty();

  QPointer<platform::InstanceRegistry> registry_;
  Form1* form_ = nullptr;
  std::string caption_;
  std::string applicationTitle_;
  QTimer timer1_;
  std::vector<std::string> dragFiles_;
  bool ending_ = false;
  bool cursorHidden_ = false;
  bool activationAsked_ = false;
  // The outer size asked for before the window manager framed the window: applied
  // again once the frame is known, so the outer size is what was asked.
  std::optional<QSize> pendingOuter_;
  // Likewise the outer position: placed before the frame exists, the client area lands
  // there and the title bar above it.
  std::optional<QPoint> pendingPosition_;
  bool frameKnown_ = false;
  // The frame's corner being put in place once the frame is known, and the checks so far.
  std::optional<QPoint> placing_;
  int placeTries_ = 0;
  // The outer geometry of the window as a normal window: what is reported while the
  // picture fills the screen.
  QRect normalOuter_;
  // The position in twips, kept where the window system does not tell it.
  std::optional<QPointF> heldPosition_;
  int resizeDepth_ = 0;
  bool stateChangePending_ = false;
};

}  // namespace korvane::player
