#include "framework/ProgramFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/TempFolderTest.h"

namespace {

using ProgramFolders = TTempFolderTest;

TEST_F(ProgramFolders, AnInstalledProgramFindsItsDataAndCatalogsUnderThePrefix) {
  std::filesystem::create_directories(Dir + "/usr/bin");
  EXPECT_EQ(InstalledDataDir(Dir + "/usr/bin"), "");
  EXPECT_EQ(CatalogDir(Dir + "/usr/bin"), Dir + "/usr/bin/locale");

  std::filesystem::create_directories(Dir + "/usr/share/tolvane");
  EXPECT_EQ(InstalledDataDir(Dir + "/usr/bin"), Dir + "/usr/share/tolvane");
  EXPECT_EQ(CatalogDir(Dir + "/usr/bin"), Dir + "/usr/share/tolvane/locale");
  EXPECT_EQ(InstalledDataDir(""), "");
}

}  // namespace
