// SPDX-License-Identifier: MIT
// `cmake --install` into a scratch root with prefix /usr: programs, links, icons, desktop
// entries and the software centres' description.
#include "tests/packaging/PackagingSupport.h"

#include <QFile>
#include <QImage>
#include <QMimeDatabase>

#include <gtest/gtest.h>

#include <map>

using namespace korvane::packaging;

namespace {

const fs::path kUsr = fs::path(KORVANE_INSTALL_ROOT) / "usr";
const fs::path kProgramDir = kUsr / KORVANE_PROGRAM_DIR;

// The [Desktop Entry] group of a desktop file, key by key.
std::map<QString, QString> desktopEntry(const fs::path& file) {
  std::map<QString, QString> keys;
  QFile f(QString::fromStdString(file.string()));
  bool inEntry = false;
  for (const QString& line : QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray()).split('\n')) {
    if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
    else if (inEntry && !line.startsWith('#') && line.contains('=')) keys[line.section('=', 0, 0)] = line.section('=', 1);
  }
  return keys;
}

}  // namespace

TEST(InstallTree, ProgramsLieSideBySideWithTheirIconsAndRelativeLinksAndManualPagesInUsr) {
  std::set<std::string> expected;
  for (const QString& program : kPrograms) {
    const std::string name = program.toStdString();
    SCOPED_TRACE(name);
    expected.insert("/" + name);
    EXPECT_NE(fs::status(kProgramDir / name).permissions() & fs::perms::others_exec, fs::perms::none);
    const fs::path link = kUsr / "bin" / name;
    ASSERT_TRUE(fs::is_symlink(link));
    // Relative, so that the tree works wherever it is unpacked.
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << fs::read_symlink(link);
    EXPECT_EQ(fs::canonical(link), fs::canonical(kProgramDir / name));
    EXPECT_TRUE(fs::is_regular_file(kUsr / "share/man/man1" / (name + ".1.gz")));
  }
  for (const QString& ext : kFileTypeIcons) expected.insert("/icon/" + ext.toStdString() + ".ico");
  // Nothing of the build's own comes along: no settings file, no helper programs.
  EXPECT_EQ(filesBelow(kProgramDir), expected);
}

TEST(InstallTree, DesktopEntriesPassTheValidatorAndNameTheProgramsIconsInEverySizeAndKnownMediaTypes) {
  QMimeDatabase db;
  for (const QString& program : kPrograms) {
    const fs::path file = kUsr / "share/applications" / (program + ".desktop").toStdString();
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::is_regular_file(file));
    // The validator prints errors, warnings and hints alike; any of them fails.
    const Output check = runTool("desktop-file-validate", {QString::fromStdString(file.string())});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.text.trimmed(), "");
    auto entry = desktopEntry(file);
    EXPECT_EQ(entry["TryExec"], program);
    const bool player = kPlayers.contains(program);
    EXPECT_EQ(entry["Exec"], player ? program + " %f" : program);
    // Each picture the size its folder names.
    for (const std::string size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
      const fs::path png = kUsr / "share/icons/hicolor" / size / "apps" / (entry["Icon"] + ".png").toStdString();
      const QImage icon(QString::fromStdString(png.string()));
      EXPECT_EQ(std::to_string(icon.width()) + "x" + std::to_string(icon.height()), size);
    }
    // Canonical names only: an alias or an unknown name puts the players under nobody's "Open With".
    const QStringList types = entry["MimeType"].split(';', Qt::SkipEmptyParts);
    EXPECT_EQ(types.size() >= 20, player) << types.size();
    for (const QString& type : types) EXPECT_EQ(db.mimeTypeForName(type).name(), type);
    for (const char* common : {"video/mp4", "video/x-matroska", "audio/mpeg", "audio/x-wav", "video/x-msvideo"})
      EXPECT_EQ(types.contains(common), player) << common;
  }
}

TEST(InstallTree, SoftwareCentresFindOneValidDescriptionNamingEveryProgram) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(kUsr / "share/metainfo")) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  // Offline: the validator would otherwise try the web addresses it finds.
  const Output check = runTool("appstreamcli", {"validate", "--no-net", QString::fromStdString(files[0].string())});
  EXPECT_EQ(check.exitCode, 0) << check.text.toStdString();
  QFile f(QString::fromStdString(files[0].string()));
  const QString xml = QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
  for (const QString& program : kPrograms) {
    EXPECT_TRUE(xml.contains("<launchable type=\"desktop-id\">" + program + ".desktop<")) << program.toStdString();
    EXPECT_TRUE(xml.contains("<binary>" + program + "<")) << program.toStdString();
  }
}
