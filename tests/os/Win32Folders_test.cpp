#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "TempFolder.h"
#include "os/Folders.h"

namespace fs = std::filesystem;

TEST(Win32Folders, TheProgramItsUsersSettingsAndWhereItMayWrite) {
  const fs::path self = Os::ExecutablePath();
  EXPECT_EQ(self.filename(), "os_tests.exe");
  EXPECT_TRUE(fs::is_regular_file(self));

  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  EXPECT_EQ(fs::path(Os::UserConfigDir()), fs::path(appData) / "Tolvane");

  // Asking leaves nothing behind.
  const std::string folder = MakeTempFolder("tolvane-folders");
  EXPECT_TRUE(Os::MayWriteIn(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_FALSE(Os::MayWriteIn(folder + "\\missing"));
  fs::remove_all(folder);
}
