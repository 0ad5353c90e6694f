// SPDX-License-Identifier: MIT
// Line edits of mimeapps.list: only the line touched changes.
#include "settings-tool/MimeAppsList.h"

#include <gtest/gtest.h>

namespace korvane::tool::keyfile {
namespace {

const std::string kList =
    "# mine\n[Added Associations]\nvideo/mp4=vlc.desktop;\n\n[Default Applications]\r\n"
    "text/plain = gedit.desktop\r\nvideo/x-msvideo=vlc.desktop\r\n# end of defaults\r\n";

TEST(KeyFileEdit, ReplacesValueInPlaceKeepingLineEndAndSpacing) {
  std::string t = setValue(kList, "Default Applications", "text/plain", "ours.desktop");
  EXPECT_EQ(t, "# mine\n[Added Associations]\nvideo/mp4=vlc.desktop;\n\n[Default Applications]\r\n"
               "text/plain =ours.desktop\r\nvideo/x-msvideo=vlc.desktop\r\n# end of defaults\r\n");
  EXPECT_EQ(value(t, "Default Applications", "text/plain"), "ours.desktop");
  EXPECT_EQ(value(t, "Added Associations", "text/plain"), std::nullopt);
}

TEST(KeyFileEdit, NewKeyGoesAfterLastKeyAndRemovalRestoresBytes) {
  std::string t = setValue(kList, "Default Applications", "audio/midi", "ours.desktop");
  EXPECT_NE(t.find("video/x-msvideo=vlc.desktop\r\naudio/midi=ours.desktop\n# end of defaults"),
            std::string::npos);
  EXPECT_EQ(removeKey(t, "Default Applications", "audio/midi"), kList);
  t = setValue(kList, "Added Associations", "audio/midi", "ours.desktop;");
  EXPECT_EQ(removeKey(t, "Added Associations", "audio/midi"), kList);
}

TEST(KeyFileEdit, MissingGroupIsAppendedAndRemovedWhole) {
  const std::string noEol = "[Default Applications]\na/b=c.desktop";
  std::string t = setValue(noEol, "Added Associations", "a/b", "ours.desktop;");
  EXPECT_EQ(t, noEol + "\n[Added Associations]\na/b=ours.desktop;\n");
  EXPECT_TRUE(groupHasKeys(t, "Added Associations"));
  t = removeKey(t, "Added Associations", "a/b");
  EXPECT_TRUE(hasGroup(t, "Added Associations"));
  EXPECT_FALSE(groupHasKeys(t, "Added Associations"));
  EXPECT_EQ(removeGroup(t, "Added Associations"), noEol + "\n");
  EXPECT_EQ(setValue("", "G", "k", "v"), "[G]\nk=v\n");
}

TEST(KeyFileEdit, NamesMatchExactlyAndCommentsAreNotKeys) {
  const std::string t = "[G]\n#k=v\nK=upper\nk=lower\n[G2]\nk=other\n";
  EXPECT_EQ(value(t, "G", "k"), "lower");
  EXPECT_EQ(value(t, "g", "k"), std::nullopt);
  EXPECT_EQ(value(t, "G2", "k"), "other");
}

TEST(KeyFileList, OurItemGoesFirstAndLeavesWithoutTouchingOthers) {
  EXPECT_EQ(withFirst("vlc.desktop;mpv.desktop", "ours.desktop"), "ours.desktop;vlc.desktop;mpv.desktop;");
  EXPECT_EQ(withFirst("mpv.desktop;ours.desktop;", "ours.desktop"), "ours.desktop;mpv.desktop;");
  EXPECT_EQ(withFirst("", "ours.desktop"), "ours.desktop;");
  EXPECT_EQ(without("ours.desktop;vlc.desktop;", "ours.desktop"), "vlc.desktop;");
  EXPECT_EQ(without("ours.desktop;", "ours.desktop"), "");
}

}  // namespace
}  // namespace korvane::tool::keyfile
