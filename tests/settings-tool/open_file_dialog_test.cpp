// SPDX-License-Identifier: MIT
// OpenFileDialog's filter: the design's NUL-separated pairs in Qt's form, matching
// either case. The dialog itself is driven by the settings window's tests and the
// players' end-to-end runs.
#include "common/dialogs/OpenFileDialog.h"

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

}  // namespace
}  // namespace korvane::dialogs
