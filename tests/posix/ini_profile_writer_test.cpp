// The profile writer's ini files: what a second write does to the first, and failures.
#include "posix/ini_profile_writer.h"

#include <gtest/gtest.h>

#include "media/media_player.h"
#include "support/test_support.h"

namespace qm::testing {
namespace {

TEST(IniProfileWriter, CreatesUpdatesAndKeepsWhatIsThere) {
  TempDir dir;
  IniProfileWriter writer(dir.Path().string() + "/profiles");
  RegisterMciExtensions(writer);
  EXPECT_EQ(dir.ReadFile("profiles/win.ini"),
            "[mci extensions]\r\nmpg=MPEGVideo\r\ndat=MPEGVideo\r\nmpv=MPEGVideo\r\n"
            "mpeg=MPEGVideo\r\ncjt=MPEGVideo\r\navi=AVIVideo\r\n");
  EXPECT_EQ(dir.ReadFile("profiles/system.ini"), "[mci]\r\nMPEGVideo=mciqtz.drv\r\n");

  // Names compare without case; other sections, keys and blank lines stay.
  dir.WriteFile("profiles/win.ini",
                "; comment\n[Other]\nmpg=keep\n\n[MCI Extensions]\nMPG=old\nwav=waveaudio\n\n"
                "[last]\nx=1\n");
  EXPECT_TRUE(writer.WritePrivateProfileString("mci extensions", "mpg", "MPEGVideo", "win.ini"));
  EXPECT_TRUE(writer.WritePrivateProfileString("mci extensions", "avi", "AVIVideo", "win.ini"));
  EXPECT_TRUE(writer.WritePrivateProfileString("new", "k", "v", "win.ini"));
  EXPECT_EQ(dir.ReadFile("profiles/win.ini"),
            "; comment\r\n[Other]\r\nmpg=keep\r\n\r\n[MCI Extensions]\r\nmpg=MPEGVideo\r\n"
            "wav=waveaudio\r\navi=AVIVideo\r\n\r\n[last]\r\nx=1\r\n[new]\r\nk=v\r\n");
}

TEST(IniProfileWriter, AFolderThatCannotBeMadeFailsQuietly) {
  TempDir dir;
  dir.WriteFile("file", "x");
  IniProfileWriter writer(dir.Path().string() + "/file/profiles");
  EXPECT_FALSE(writer.WritePrivateProfileString("mci", "MPEGVideo", "mciqtz.drv", "system.ini"));
  RegisterMciExtensions(writer);  // swallowed; nothing to see
  EXPECT_EQ(dir.ReadFile("file"), "x");
  EXPECT_FALSE(IniProfileWriter("").WritePrivateProfileString("a", "b", "c", "win.ini"));
}

}  // namespace
}  // namespace qm::testing
