#include "framework/CatalogSet.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "MoFile.h"
#include "TempFolder.h"
#include "framework/Component.h"
#include "framework/Convert.h"
#include "framework/Exception.h"
#include "framework/TextBox.h"
#include "framework/Translate.h"

namespace {

using test::CatalogPath;
using test::MoBytes;
using test::WriteFile;

class CatalogSet : public ::testing::Test {
protected:
  void SetUp() override { FDir = MakeTempFolder("tolvane-catalogs"); }
  void TearDown() override {
    Translation::InstallCatalog(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }
  std::filesystem::path Locale() const { return FDir / "locale"; }
  void Write(const std::string& language, const std::string& domain, const test::TMoEntries& e) {
    WriteFile(CatalogPath(Locale(), language, domain), MoBytes(e));
  }

  std::filesystem::path FDir;
};

TEST_F(CatalogSet, EachDomainTakesItsMostSpecificCatalog) {
  Write("de", "default", {{"Warning", "Warnung (de)"}});
  Write("de_DE", "default", {{"Warning", "Warnung"}, {"Error", "Fehler"}});
  Write("de", "cport", {{"Registry error", "Registrierungsfehler"}});
  Write("da", "default", {{"Warning", "Advarsel"}});

  EXPECT_EQ(InstallCatalogs(Locale(), "de_DE.UTF-8", {"default", "cport", "other"}),
            (std::vector<std::string>{"default", "cport"}));
  EXPECT_EQ(Translate("Warning"), "Warnung");
  EXPECT_EQ(Translate("Error", "default"), "Fehler");
  EXPECT_EQ(Translate("Registry error", "cport"), "Registrierungsfehler");
  // A text belongs to its own domain only.
  EXPECT_EQ(Translate("Registry error"), "Registry error");
  EXPECT_EQ(Translate("Warning", "cport"), "Warning");
  EXPECT_EQ(Translate("Confirm"), "Confirm");
}

TEST_F(CatalogSet, DamagedCatalogsArePassedOver) {
  std::string truncated = MoBytes({{"Warning", "Warnung (de_DE)"}});
  truncated.resize(truncated.size() / 2);
  WriteFile(CatalogPath(Locale(), "de_DE", "default"), truncated);
  WriteFile(CatalogPath(Locale(), "de_DE.UTF-8", "default"), "not a catalog at all");
  std::filesystem::create_directories(CatalogPath(Locale(), "de_DE.UTF-8", "cport"));
  Write("de", "default", {{"Warning", "Warnung"}});

  EXPECT_EQ(InstallCatalogs(Locale(), "de_DE.UTF-8", {"default", "cport"}),
            (std::vector<std::string>{"default"}));
  EXPECT_EQ(Translate("Warning"), "Warnung");
}

TEST_F(CatalogSet, WithoutASoundCatalogNothingChanges) {
  WriteFile(CatalogPath(Locale(), "de", "default"), "\xde\x12\x04\x95");
  EXPECT_TRUE(InstallCatalogs(Locale(), "de_DE", {"default", "cport"}).empty());
  EXPECT_TRUE(InstallCatalogs(Locale(), "", {"default"}).empty());
  EXPECT_TRUE(InstallCatalogs(FDir / "missing", "de", {"default"}).empty());
  EXPECT_EQ(Translate("Warning"), "Warning");

  // What was installed before stays in force.
  Write("da", "default", {{"Warning", "Advarsel"}});
  ASSERT_EQ(InstallCatalogs(Locale(), "da_DK", {"default"}).size(), 1u);
  EXPECT_TRUE(InstallCatalogs(Locale(), "de_DE", {"default"}).empty());
  EXPECT_EQ(Translate("Warning"), "Advarsel");
}

TEST_F(CatalogSet, FrameworkErrorsAreTranslatedWithTheirDetails) {
  Write("da", "default",
        {{"'%s' is not a valid integer value", "'%s' er ikke et gyldigt heltal"},
         {"Cannot open file \"%s\". %s", "Kan ikke \xc3\xa5" "bne filen \"%s\". %s"}});
  ASSERT_EQ(InstallCatalogs(Locale(), "da", {"default"}).size(), 1u);

  try {
    StrToInt("12a");
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "'12a' er ikke et gyldigt heltal");
  }
  TTextBox box;
  const std::string missing = (FDir / "nothing.hex").string();
  try {
    box.LoadFromFile(missing);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Kan ikke \xc3\xa5" "bne filen \"" + missing +
                                   "\". No such file or directory");
  }
}

TEST(TranslateFormat, PutsInTheArgumentsAsText) {
  EXPECT_EQ(TranslateFormat("Cannot assign a %s to a %s", {"TComPort", "%d%s"}),
            "Cannot assign a TComPort to a %d%s");
  EXPECT_EQ(TranslateFormat("100%% of %d", {"7"}), "100% of 7");
  EXPECT_EQ(TranslateFormat("trailing %", {}), "trailing %");
}

TEST(TranslateFormat, ATranslationThatLosesOrAddsAnArgumentIsNotUsed) {
  Translation::InstallCatalog([](std::string_view, std::string_view text) {
    if (text == "a %s b %s") return std::string("A %s");
    if (text == "c %s") return std::string("C %s %s %n");
    if (text == "d %s, %s") return std::string("D %s; %s");
    return std::string(text);
  });
  EXPECT_EQ(TranslateFormat("a %s b %s", {"1", "2"}), "a 1 b 2");
  EXPECT_EQ(TranslateFormat("c %s", {"1"}), "c 1");
  EXPECT_EQ(TranslateFormat("d %s, %s", {"1", "2"}), "D 1; 2");
  Translation::InstallCatalog(nullptr);
}

}  // namespace
