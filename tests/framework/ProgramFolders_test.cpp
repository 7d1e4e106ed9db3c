#include "framework/ProgramFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/TempFolderTest.h"

namespace {

using ProgramFolders = TTempFolderTest;

using Path = std::filesystem::path;  // compared by element: either separator on Windows

TEST_F(ProgramFolders, AnInstalledProgramFindsItsDataAndCatalogsUnderThePrefix) {
  std::filesystem::create_directories(Dir + "/usr/bin");
  EXPECT_EQ(InstalledDataDir(Dir + "/usr/bin"), "");
  EXPECT_EQ(Path(CatalogDir(Dir + "/usr/bin")), Path(Dir + "/usr/bin/locale"));

  std::filesystem::create_directories(Dir + "/usr/share/tolvane");
  EXPECT_EQ(Path(InstalledDataDir(Dir + "/usr/bin")), Path(Dir + "/usr/share/tolvane"));
  EXPECT_EQ(Path(CatalogDir(Dir + "/usr/bin")), Path(Dir + "/usr/share/tolvane/locale"));
  EXPECT_EQ(InstalledDataDir(""), "");
}

}  // namespace
