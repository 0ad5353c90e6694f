// SPDX-License-Identifier: MIT
// The views on a real display (Xvfb with software OpenGL).
#include "player/media/ControlPanel.h"
#include "player/media/ImageWindow.h"
#include "player/media/MediaSet.h"
#include "tests/media/MediaTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include <array>
#include <memory>
#include <tuple>

namespace korvane::media {
namespace {

using testing::clipUrl;
using testing::settle;
using testing::waitFor;

// Stands in for the player window: records what reaches it.
struct Form : QWidget {
  std::vector<int> keys;
  std::vector<QPoint> presses;
  void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
  void mousePressEvent(QMouseEvent* event) override { presses.push_back(event->position().toPoint()); }
};

using Picture = EngineOptions::Picture;

// The picture both ways: a native window of its own (X11) and drawn with the form (Wayland).
class Views : public ::testing::TestWithParam<Picture> {
 protected:
  void SetUp() override {
    form = std::make_unique<Form>();
    form->setGeometry(0, 0, 480, 411);
    set = std::make_unique<MediaSet>(form.get(), true, EngineOptions{false, true, false, GetParam()});
    rp().SetEventSink(&sink);
  }
  void show() {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  MediaControl& rp() { return set->RealAudio1(); }
  static std::array<double, 4> twips(const ViewGeometry& v) { return {v.Left(), v.Top(), v.Width(), v.Height()}; }

  testing::RecordingSink sink;
  std::unique_ptr<Form> form;
  std::unique_ptr<MediaSet> set;  // goes first: the render context before the form's window
};
INSTANTIATE_TEST_SUITE_P(Pictures, Views, ::testing::Values(Picture::Native, Picture::InForm),
                         [](const auto& info) { return info.param == Picture::Native ? "Native" : "InForm"; });

// Design-time placement in twips, kept exactly as set with widgets at the rounded pixels
// (the three views share this code: the image window stands for all); presses and keys
// in the picture (a native window of its own gets them first) reach the form too; full
// screen and back.
TEST_P(Views, PlacementPressesAndKeysAndFullScreen) {
  show();
  ASSERT_EQ(form->logicalDpiX(), 96) << "the pixel figures of these tests assume 15 twips per pixel";
  EXPECT_EQ(twips(rp()), (std::array<double, 4>{0, 0, 7215, 5055}));
  EXPECT_EQ(set->imageWindow()->geometry(), QRect(0, 0, 481, 337));
  EXPECT_EQ(twips(*set->RealAudio2()), (std::array<double, 4>{0, 5040, 7215, 375}));
  EXPECT_EQ(set->controlPanel()->geometry(), QRect(0, 336, 481, 25));
  EXPECT_EQ(std::pair(set->RealAudio3().Left(), set->RealAudio3().Width()), std::pair(360.0, 30.0));
  EXPECT_FALSE(set->statusBar()->isVisible());

  VideoSurface* surface = set->imageWindow()->surface();
  if (surface) {
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mousePress(surface, Qt::RightButton, {}, QPoint(200, 300));
    QTest::keyClick(surface, Qt::Key_N);
    QTest::keyClick(surface, Qt::Key_Space);
    EXPECT_EQ(form->keys, (std::vector<int>{Qt::Key_N, Qt::Key_Space}));
  } else {
    // Drawn with the form, the picture lets presses through to the image window.
    const QPoint at = set->imageWindow()->pictureWidget()->mapToGlobal(QPoint(10, 20));
    ASSERT_EQ(QApplication::widgetAt(at), set->imageWindow());
    QTest::mouseClick(set->imageWindow(), Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mousePress(set->imageWindow(), Qt::RightButton, {}, QPoint(200, 300));
  }
  EXPECT_EQ(sink.pointers, (decltype(sink.pointers){{1, 10, 20}, {2, 200, 300}}));
  EXPECT_EQ(form->presses, (std::vector<QPoint>{{10, 20}, {200, 300}}));

  rp().SetHeight(5303.4);
  rp().SetWidth(7100);
  rp().SetTop(-30);  // a position may be negative
  EXPECT_THROW(rp().SetHeight(-15), MediaError);
  EXPECT_THROW(rp().SetWidth(-0.5), MediaError);
  EXPECT_EQ(twips(rp()), (std::array<double, 4>{0, -30, 7100, 5303.4}));
  EXPECT_EQ(set->imageWindow()->geometry(), QRect(0, -2, 473, 354));  // 2 px is 30 twips; 473.33, 353.56
  rp().SetHeight(0);  // the no-picture layout: nothing shown, nothing refused
  EXPECT_EQ(set->imageWindow()->height(), 0);

  rp().SetTop(0);
  rp().SetHeight(4000);
  const QRect before = set->imageWindow()->geometry();
  rp().OptionSOn();
  EXPECT_TRUE(rp().OptionS() && form->isFullScreen());
  ASSERT_TRUE(waitFor([&] { return set->imageWindow()->geometry() == form->rect(); }));
  // The layout may go on setting the geometry meanwhile; the picture still fills the form.
  rp().SetWidth(100);
  EXPECT_EQ(set->imageWindow()->geometry(), form->rect());
  rp().OptionSOff();
  EXPECT_FALSE(rp().OptionS() || form->isFullScreen());
  EXPECT_EQ(twips(rp()), (std::array<double, 4>{0, 0, 7100, 4000}));
  EXPECT_EQ(set->imageWindow()->geometry(), before);
}

// The clip's picture and the panel's time (whether frames reach the screen is seen end to end);
// the form may go first while playing: its children, the picture among them, go with it.
TEST_P(Views, TheClipDrawsAndShowsItsTimeAndTheFormMayGoFirst) {
  show();
  const QLabel* time = set->controlPanel()->findChild<QLabel*>();  // its only label
  rp().SetSourceUrl(clipUrl("h264.mp4"));
  ASSERT_TRUE(waitFor([&] { return set->imageWindow()->framesDrawn() > 2; }));
  // A starved machine may show a second late: any second of the clip will do.
  EXPECT_TRUE(waitFor([&] { return time->text().endsWith(" / 00:03") && !time->text().startsWith("00:00"); }))
      << time->text().toStdString();
  // Seconds cut, not rounded; hours only for a clip that has them.
  for (auto [ms, hours, text] : {std::tuple<qint64, bool, const char*>{61'999, false, "01:01"},
                                 {3'723'000, true, "1:02:03"}, {-5, false, "00:00"}})
    EXPECT_EQ(ControlPanel::clockText(ms, hours), text) << ms;

  form.reset();
  EXPECT_EQ(set->imageWindow(), nullptr);
  rp().Pause();  // the engine goes on without its views
  settle(100);
}

}  // namespace
}  // namespace korvane::media
