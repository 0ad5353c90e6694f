// SPDX-License-Identifier: MIT
// OpenFileDialog: the filter pairs in Qt's form matching either case, and the real
// dialog offscreen (the seam is driven by the settings window's tests).
#include "common/dialogs/OpenFileDialog.h"

#include "ToolTestSupport.h"

#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace korvane::dialogs {
namespace {

using namespace std::string_view_literals;

TEST(OpenFileFilter, PairsBecomeQtEntriesWithCaseFreePatterns) {
  EXPECT_EQ(qtFilterFromPairs("プログラムファイル\0*\0"sv), QStringLiteral("プログラムファイル (*)"));
  QString f = qtFilterFromPairs("Clips(*.avi;*.Mp3)\0*.avi;*.Mp3\0All\0*.*\0\0Ignored\0*.x\0"sv);
  EXPECT_EQ(f, QStringLiteral("Clips(*.avi;*.Mp3) (*.[aA][vV][iI] *.[mM][pP]3);;All (*)"));
  EXPECT_TRUE(filterAccepts(f, QStringLiteral("README")));  // "*.*" is every file, extension or not
  for (const char* name : {"B.AVI", "c.mP3", "d.Avi"})
    EXPECT_TRUE(filterAccepts(f, QString::fromLatin1(name))) << name;
  EXPECT_FALSE(filterAccepts(qtFilterFromPairs("C\0*.avi\0"sv), QStringLiteral("a.avix")));
  // The dialog's patterns know no character sets.
  QString odd = qtFilterFromPairs("Odd\0[1]*.ts\0"sv);
  EXPECT_TRUE(filterAccepts(odd, QStringLiteral("[1]clip.TS")));
  EXPECT_FALSE(filterAccepts(odd, QStringLiteral("1clip.ts")));
}

TEST(OpenFileRealDialog, ReturnsWholeLongPathOrEmptyOnCancel) {
  korvane::tool::testing::ensureApp();
  korvane::tool::testing::ScratchDir dir;
  const std::string longName = std::string(240, 'n') + ".AVI";
  korvane::tool::testing::writeAll(dir.path() / longName, "x");
  QString chosen = QString::fromStdString((dir.path() / longName).string());

  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("ファイルを開く"));
    d->selectFile(chosen);
    QMetaObject::invokeMethod(d, "accept");
  });
  std::string got = OpenFileDialog(nullptr, "Clips\0*.avi\0"sv);
  EXPECT_EQ(got, chosen.toStdString());
  EXPECT_GT(got.size(), 250u);

  QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); });
  EXPECT_EQ(OpenFileDialog(nullptr, "Clips\0*.avi\0"sv), "");
}

}  // namespace
}  // namespace korvane::dialogs
