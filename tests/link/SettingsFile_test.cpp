#include "link/SettingsFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "framework/TempFolderTest.h"

namespace {

namespace fs = std::filesystem;

using SettingsFile = TTempFolderTest;

TEST_F(SettingsFile, ACopyOfItsOwnKeepsItBesideItselfWhenItMayWriteThere) {
  EXPECT_EQ(SettingsFilePath(Dir, "/elsewhere"), Dir + "/Tolvane.ini");
  // The build tree stands in a bin folder too, with no data folder beside it.
  fs::create_directories(Dir + "/build/bin");
  EXPECT_EQ(SettingsFilePath(Dir + "/build/bin", "/elsewhere"), Dir + "/build/bin/Tolvane.ini");
  EXPECT_EQ(SettingsFilePath(Dir + "/not-there", Dir + "/user"), Dir + "/user/Tolvane.ini");
  EXPECT_EQ(SettingsFilePath(Write("a-file", ""), Dir + "/user"), Dir + "/user/Tolvane.ini");
}

// Whoever runs it, root too, for whom every folder is writable.
TEST_F(SettingsFile, AnInstalledProgramKeepsItInTheUsersFolder) {
  fs::create_directories(Dir + "/usr/bin");
  fs::create_directories(Dir + "/usr/share/tolvane");
  EXPECT_EQ(SettingsFilePath(Dir + "/usr/bin", Dir + "/user"), Dir + "/user/Tolvane.ini");
}

TEST(UserConfigDir, FollowsXdgConfigHomeWhenAbsoluteElseHome) {
  setenv("HOME", "/home/ada", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(UserConfigDir(), "/cfg/tolvane");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(UserConfigDir(), "/home/ada/.config/tolvane");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserConfigDir(), "/home/ada/.config/tolvane");
}

}  // namespace
