#include "framework/Convert.h"
#include "framework/Component.h"
#include "framework/IniFile.h"
#include "framework/Translate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempFolder.h"

namespace {

TEST(Convert, TextToIntegerAcceptsSignedDecimalAndBothHexForms) {
  EXPECT_EQ(TryStrToInt("65"), 65);
  EXPECT_EQ(TryStrToInt("-3"), -3);
  EXPECT_EQ(TryStrToInt("+7"), 7);
  EXPECT_EQ(TryStrToInt("$41"), 65);
  EXPECT_EQ(TryStrToInt("0x1f"), 31);
  EXPECT_EQ(TryStrToInt("0XFF"), 255);
  EXPECT_EQ(TryStrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
  EXPECT_EQ(TryStrToInt("-2147483648"), -2147483647 - 1);
}

TEST(Convert, TextToIntegerRejectsEverythingElse) {
  for (const char* bad : {"", "x", "12a", " 1", "1 ", "$", "0x", "-", "2147483648", "$1FFFFFFFF",
                          "99999999999999999999", "1.5"})
    EXPECT_FALSE(TryStrToInt(bad).has_value()) << bad;
  EXPECT_THROW(StrToInt("x"), EConvertError);
}

TEST(Translate, PassesTextThroughUntilACatalogIsInstalled) {
  EXPECT_EQ(Translate("Registry error", "cport"), "Registry error");
  Translation::InstallCatalog([](std::string_view domain, std::string_view text) {
    return domain == "cport" ? "[" + std::string(text) + "]" : std::string(text);
  });
  EXPECT_EQ(Translate("Registry error", "cport"), "[Registry error]");
  EXPECT_EQ(Translate("OK"), "OK");
  Translation::InstallCatalog(nullptr);
  EXPECT_EQ(Translate("Registry error", "cport"), "Registry error");
  Translation::RegisterDomain("test");
  Translation::RegisterDomain("test");
  int count = 0;
  for (const auto& domain : Translation::RegisteredDomains()) count += domain == "test";
  EXPECT_EQ(count, 1);
}

class IniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = MakeTempFolder("tolvane-ini");
    FPath = FDir + "/settings.ini";
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string FDir, FPath;
};

TEST_F(IniFileTest, KeepsForeignLinesAndReplacesValuesInPlace) {
  {
    std::ofstream out(FPath, std::ios::binary);
    out << "; comment\r\n[Other]\r\nA=1\r\n[ComPort]\r\nPort=COM1\r\nExtra=keep\r\n";
  }
  TIniFile file(FPath);
  EXPECT_EQ(file.ReadString("comport", "port", "?"), "COM1");  // names ignore letter case
  EXPECT_EQ(file.ReadString("ComPort", "Missing", "?"), "?");
  file.WriteString("ComPort", "Port", "COM3");
  file.WriteInteger("New", "Size", -3);
  file.UpdateFile();

  std::ifstream in(FPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "; comment\r\n[Other]\r\nA=1\r\n[ComPort]\r\nPort=COM3\r\nExtra=keep\r\n"
            "[New]\r\nSize=-3\r\n");
  EXPECT_EQ(TIniFile(FPath).ReadInteger("New", "Size", 0), -3);
}

TEST_F(IniFileTest, LinesEndAtLfWithOrWithoutCrAndTextAtHandReadsAsTheFile) {
  const std::string text = "[A]\nK1=one\r\n \t\nK2=two\n[B]\r\nK3=three";
  std::ofstream(FPath, std::ios::binary) << text;
  for (const TIniFile& file : {TIniFile(FPath), TIniFile::FromText(text)}) {
    EXPECT_EQ(file.ReadString("A", "K1", "?"), "one");
    EXPECT_EQ(file.ReadString("A", "K2", "?"), "two");
    EXPECT_EQ(file.ReadString("B", "K3", "?"), "three");  // the last line needs no break
  }
}

TEST_F(IniFileTest, AFileThatCannotBeWrittenIsAnError) {
  TIniFile file(FDir + "/no/such/dir/x.ini");
  file.WriteString("S", "K", "V");
  EXPECT_THROW(file.UpdateFile(), Exception);
}

}  // namespace
