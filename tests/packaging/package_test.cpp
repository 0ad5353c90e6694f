// SPDX-License-Identifier: MIT
// The Debian package CPack builds from this tree: its files and owner, its dependencies,
// and no lintian error (which also covers unstripped programs and the maintainer address).
#include "tests/packaging/PackagingSupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace korvane::packaging;

namespace {

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& e : fs::directory_iterator(KORVANE_PACKAGE_DIR))
      if (e.path().extension() == ".deb") deb = QString::fromStdString(e.path().string());
    ASSERT_FALSE(deb.isEmpty()) << "no package in " KORVANE_PACKAGE_DIR;
  }
  QString field(const char* name) const { return runTool("dpkg-deb", {"-f", deb, name}).text.trimmed(); }
  QString deb;
};

}  // namespace

TEST_F(Package, HoldsExactlyTheInstallTreeOwnedByRoot) {
  const Output listing = runTool("dpkg-deb", {"-c", deb});
  ASSERT_EQ(listing.exitCode, 0) << listing.text.toStdString();
  std::set<std::string> files;
  for (const QString& line : listing.text.split('\n', Qt::SkipEmptyParts)) {
    // "-rwxr-xr-x root/root 1234 2026-12-06 23:00 ./usr/lib/... [-> target]"
    const QStringList f = line.split(' ', Qt::SkipEmptyParts);
    ASSERT_GE(f.size(), 6) << line.toStdString();
    EXPECT_EQ(f[1], "root/root") << line.toStdString();
    if (f[0].startsWith('d')) continue;
    files.insert(f[5].mid(1).toStdString());
    if (!f[0].startsWith('l')) continue;
    EXPECT_EQ(f.value(7), fs::read_symlink(KORVANE_INSTALL_ROOT + f[5].mid(1).toStdString()).c_str()) << "as installed: " << line.toStdString();
  }
  const std::set<std::string> installed = filesBelow(KORVANE_INSTALL_ROOT);
  EXPECT_EQ(missingFrom(installed, files), "") << "installed, not packaged";
  EXPECT_EQ(missingFrom(files, installed), "") << "packaged, not installed";
}

TEST_F(Package, DeclaresWhatItIsAndWhatItNeedsAtRunTime) {
  EXPECT_EQ(field("Package"), "korvane-rp3");
  EXPECT_EQ(field("Section"), "video");
  EXPECT_EQ(field("Architecture"), runTool("dpkg", {"--print-architecture"}).text.trimmed());
  EXPECT_TRUE(deb.endsWith("korvane-rp3_" + field("Version") + "_" + field("Architecture") + ".deb")) << deb.toStdString();
  // Package names only: versions and alternatives aside.
  QStringList depends;
  for (const QString& d : field("Depends").split(',')) depends << d.trimmed().section(' ', 0, 0);
  // What the programs link (from dpkg-shlibdeps), Qt's Wayland plugin they load where
  // no X display exists, and the tool the settings tool runs.
  for (const char* needed : {"libmpv2", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6",
                             "libqt6dbus6", "libx11-6", "libxss1", "libxkbcommon0", "libxkbcommon-x11-0",
                             "libc6", "libstdc++6", "qt6-wayland", "shared-mime-info"})
    EXPECT_TRUE(depends.contains(needed)) << needed << " missing from " << field("Depends").toStdString();
}

TEST_F(Package, LintianFindsNoError) {
  const Output lint = runTool("lintian", {"--no-cfg", "--tag-display-limit", "0", deb}, 170000);
  ASSERT_NE(lint.exitCode, -1) << lint.text.toStdString();
  EXPECT_EQ(lint.text.split('\n').filter(QRegularExpression("^E: ")).join('\n').toStdString(), "");
}
