// SPDX-License-Identifier: MIT
// `cmake --install` into a scratch root with prefix /usr: the programs side by side
// with icon/, the links in bin, valid desktop entries and the application icons.
#include "tests/packaging/PackagingSupport.h"

#include <QFile>
#include <QImage>
#include <QMimeDatabase>

#include <gtest/gtest.h>

#include <map>

using namespace korvane::packaging;

namespace {

const fs::path kRoot = KORVANE_INSTALL_ROOT;
const fs::path kUsr = kRoot / "usr";
const fs::path kProgramDir = kUsr / KORVANE_PROGRAM_DIR;
const fs::path kApplications = kUsr / "share/applications";

// The [Desktop Entry] group of a desktop file, key by key.
std::map<QString, QString> desktopEntry(const fs::path& file) {
  std::map<QString, QString> keys;
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly)) return keys;
  bool inEntry = false;
  for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
    if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
    else if (inEntry && !line.startsWith('#') && line.contains('=')) keys[line.section('=', 0, 0)] = line.section('=', 1);
  }
  return keys;
}

}  // namespace

TEST(InstallTree, ProgramsLieSideBySideWithTheirIconFolder) {
  for (const QString& program : kPrograms) {
    const fs::path file = kProgramDir / program.toStdString();
    SCOPED_TRACE(file);
    ASSERT_TRUE(fs::is_regular_file(file));
    EXPECT_NE(fs::status(file).permissions() & fs::perms::others_exec, fs::perms::none);
  }
  for (const QString& ext : kFileTypeIcons)
    EXPECT_TRUE(fs::is_regular_file(kProgramDir / "icon" / (ext + ".ico").toStdString())) << ext.toStdString();
  // Nothing of the build's own comes along: no settings file, no helper programs.
  std::set<std::string> expected;
  for (const QString& program : kPrograms) expected.insert(program.toStdString());
  for (const QString& ext : kFileTypeIcons) expected.insert("icon/" + (ext + ".ico").toStdString());
  std::set<std::string> found;
  for (const std::string& f : filesBelow(kProgramDir)) found.insert(f.substr(1));
  EXPECT_EQ(found, expected);
}

TEST(InstallTree, LinksInBinAreRelativeAndLeadToTheProgramsAndTheirManualPage) {
  for (const QString& program : kPrograms) {
    const fs::path link = kUsr / "bin" / program.toStdString();
    SCOPED_TRACE(link);
    ASSERT_TRUE(fs::is_symlink(link));
    // Relative, so that the tree works wherever it is unpacked.
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << fs::read_symlink(link);
    EXPECT_EQ(fs::canonical(link), fs::canonical(kProgramDir / program.toStdString()));
    EXPECT_TRUE(fs::is_regular_file(kUsr / "share/man/man1" / (program + ".1.gz").toStdString()));
  }
}

TEST(InstallTree, DesktopEntriesPassTheValidatorAndNameInstalledProgramsAndIcons) {
  for (const QString& program : kPrograms) {
    const fs::path file = kApplications / (program + ".desktop").toStdString();
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
    EXPECT_TRUE(fs::exists(kUsr / "bin" / program.toStdString()));
    for (const char* size : {"16x16", "48x48", "256x256"})
      EXPECT_TRUE(fs::is_regular_file(kUsr / "share/icons/hicolor" / size / "apps" / (entry["Icon"] + ".png").toStdString()))
          << size;
    EXPECT_EQ(entry["MimeType"].isEmpty(), !player);
  }
}

TEST(InstallTree, PlayersDeclareKnownMediaTypesByTheirCanonicalNames) {
  // An alias or an unknown name puts the players under nobody's "Open With".
  QMimeDatabase db;
  for (const QString& program : kPlayers) {
    SCOPED_TRACE(program.toStdString());
    const QStringList types = desktopEntry(kApplications / (program + ".desktop").toStdString())["MimeType"]
                                  .split(';', Qt::SkipEmptyParts);
    EXPECT_GE(types.size(), 20);
    for (const QString& type : types) {
      const QMimeType known = db.mimeTypeForName(type);
      EXPECT_TRUE(known.isValid()) << type.toStdString();
      EXPECT_EQ(known.name(), type);
    }
    for (const char* common : {"video/mp4", "video/x-matroska", "audio/mpeg", "audio/x-wav", "video/x-msvideo"})
      EXPECT_TRUE(types.contains(common)) << common;
  }
}

TEST(InstallTree, ApplicationIconsHaveTheSizeTheirFolderNames) {
  int count = 0;
  for (const auto& e : fs::recursive_directory_iterator(kUsr / "share/icons/hicolor")) {
    if (e.path().extension() != ".png") continue;
    const std::string folder = e.path().parent_path().parent_path().filename().string();  // "48x48"
    const QImage icon(QString::fromStdString(e.path().string()));
    SCOPED_TRACE(e.path());
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(std::to_string(icon.width()) + "x" + std::to_string(icon.height()), folder);
    EXPECT_TRUE(icon.hasAlphaChannel());
    ++count;
  }
  EXPECT_EQ(count, 16);  // two icons in eight sizes
}
