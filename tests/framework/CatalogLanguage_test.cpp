#include "framework/CatalogLanguage.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEnvironment Environment(std::map<std::string, std::string> variables) {
  return [variables = std::move(variables)](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
}

TEST(CatalogLanguage, LangFirstThenTheUsersLocale) {
  EXPECT_EQ(CatalogLanguage(Environment({{"LANG", "da_DK.UTF-8"}, {"LC_ALL", "de_DE"}})),
            "da_DK.UTF-8");
  EXPECT_EQ(CatalogLanguage(Environment({{"LC_ALL", "de_DE"}, {"LC_MESSAGES", "fr_FR"}})),
            "de_DE");
  EXPECT_EQ(CatalogLanguage(Environment({{"LANG", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", "fr"}})),
            "fr");
  EXPECT_EQ(CatalogLanguage(Environment({})), "");
}

TEST(CatalogLanguage, UntranslatedLocalesAndPathsGiveNoLanguage) {
  for (const char* value : {"C", "POSIX", "C.UTF-8", "..", ".", "../../etc", "de/../../x",
                            "de\\x"})
    EXPECT_EQ(CatalogLanguage(Environment({{"LANG", value}})), "") << value;
}

TEST(CatalogLanguage, CandidatesGoFromTheWholeNameToTheLanguage) {
  using List = std::vector<std::string>;
  EXPECT_EQ(LanguageCandidates("de_DE.UTF-8"),
            (List{"de_DE.UTF-8", "de_DE.utf8", "de_DE", "de.UTF-8", "de.utf8", "de"}));
  EXPECT_EQ(LanguageCandidates("de_DE"), (List{"de_DE", "de"}));
  EXPECT_EQ(LanguageCandidates("da"), (List{"da"}));
  EXPECT_EQ(LanguageCandidates("da_DK.utf8"), (List{"da_DK.utf8", "da_DK", "da.utf8", "da"}));
  EXPECT_EQ(LanguageCandidates("de_DE.8859-15@euro"),
            (List{"de_DE.8859-15@euro", "de_DE.iso885915@euro", "de_DE@euro", "de.8859-15@euro",
                  "de.iso885915@euro", "de@euro", "de_DE.8859-15", "de_DE.iso885915", "de_DE",
                  "de.8859-15", "de.iso885915", "de"}));
  EXPECT_EQ(LanguageCandidates("sr_RS@latin"), (List{"sr_RS@latin", "sr@latin", "sr_RS", "sr"}));
  EXPECT_TRUE(LanguageCandidates("").empty());
  EXPECT_TRUE(LanguageCandidates("_DE.UTF-8").empty());
}

}  // namespace
