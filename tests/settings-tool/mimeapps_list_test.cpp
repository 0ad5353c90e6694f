// SPDX-License-Identifier: MIT
// Line edits of mimeapps.list: only the line touched changes.
#include "settings-tool/MimeAppsList.h"

#include <gtest/gtest.h>

namespace korvane::tool::keyfile {
namespace {

const std::string kList =
    "# mine\n[Added Associations]\nvideo/mp4=vlc.desktop;\n\n[Default Applications]\r\n"
    "text/plain = gedit.desktop\r\nvideo/x-msvideo=vlc.desktop\r\n# end of defaults\r\n";

TEST(KeyFileEdit, ReplacesInPlaceAndAddsAfterTheLastKeyRestorably) {
  std::string t = setValue(kList, "Default Applications", "text/plain", "ours.desktop");
  EXPECT_EQ(t, "# mine\n[Added Associations]\nvideo/mp4=vlc.desktop;\n\n[Default Applications]\r\n"
               "text/plain =ours.desktop\r\nvideo/x-msvideo=vlc.desktop\r\n# end of defaults\r\n");
  EXPECT_EQ(value(t, "Default Applications", "text/plain"), "ours.desktop");
  t = setValue(kList, "Default Applications", "audio/midi", "ours.desktop");
  EXPECT_NE(t.find("vlc.desktop\r\naudio/midi=ours.desktop\n# end"), std::string::npos);
  EXPECT_EQ(removeKey(t, "Default Applications", "audio/midi"), kList);
  // A group we add goes at the end, after a line break the file lacked.
  const std::string noEol = "[Default Applications]\na/b=c.desktop";
  t = setValue(noEol, "Added Associations", "a/b", "ours.desktop;");
  EXPECT_EQ(t, noEol + "\n[Added Associations]\na/b=ours.desktop;\n");
  EXPECT_EQ(removeGroup(removeKey(t, "Added Associations", "a/b"), "Added Associations"), noEol + "\n");
}

}  // namespace
}  // namespace korvane::tool::keyfile
