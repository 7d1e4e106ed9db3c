#include "framework/MoCatalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "MoFile.h"

namespace {

using test::MoBytes;

const test::TMoEntries Danish = {{"", test::Utf8Header},
                                 {"&No", "&Nej"},
                                 {"&Yes", "&Ja"},
                                 {"Confirm", "Bekr\xc3\xa6" "ft"},
                                 {"Warning", "Advarsel"}};

TEST(MoCatalog, ReadsBothByteOrders) {
  for (bool bigEndian : {false, true}) {
    const TMoCatalog catalog = TMoCatalog::FromBytes(MoBytes(Danish, bigEndian));
    EXPECT_EQ(catalog.Count(), 4u) << bigEndian;
    ASSERT_NE(catalog.Find("Confirm"), nullptr);
    EXPECT_EQ(*catalog.Find("Confirm"), "Bekr\xc3\xa6" "ft");
    EXPECT_EQ(*catalog.Find("&Yes"), "&Ja");
    EXPECT_EQ(catalog.Find("Error"), nullptr);
    // The header entry is the catalog's description, not the translation of "".
    EXPECT_EQ(catalog.Find(""), nullptr);
  }
}

TEST(MoCatalog, LeavesOutContextsPluralsAndEmptyTranslations) {
  const TMoCatalog catalog = TMoCatalog::FromBytes(MoBytes({
      {"menu\x04" "Open", "\xc3\x85" "bn"},
      {std::string("file\0files", 10), std::string("fil\0filer", 9)},
      {"Error", ""},
      {"OK", "O.k."},
  }));
  EXPECT_EQ(catalog.Count(), 1u);
  EXPECT_EQ(catalog.Find("Open"), nullptr);
  EXPECT_EQ(catalog.Find("file"), nullptr);
  EXPECT_EQ(catalog.Find("Error"), nullptr);
  EXPECT_EQ(*catalog.Find("OK"), "O.k.");
}

TEST(MoCatalog, TranslationsInOtherCharacterSetsBecomeUtf8) {
  const auto withCharset = [](const std::string& charset, const std::string& translation) {
    return TMoCatalog::FromBytes(MoBytes(
        {{"", "Content-Type: text/plain; charset=" + charset + "\n"}, {"Confirm", translation}}));
  };
  EXPECT_EQ(*withCharset("ISO-8859-1", "Bekr\xe6" "ft").Find("Confirm"), "Bekr\xc3\xa6" "ft");
  EXPECT_EQ(*withCharset("iso_8859-15", "\xa4").Find("Confirm"), "\xe2\x82\xac");
  EXPECT_EQ(*withCharset("CP1252", "\x80 \x93x\x94").Find("Confirm"),
            "\xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d");
  EXPECT_EQ(*withCharset("CHARSET", "plain").Find("Confirm"), "plain");
  // A text that is not valid in its character set is left untranslated, not garbled.
  EXPECT_EQ(withCharset("UTF-8", "Bekr\xe6" "ft").Find("Confirm"), nullptr);
  EXPECT_EQ(withCharset("UTF-8", "\xed\xa0\x80").Find("Confirm"), nullptr);
  EXPECT_EQ(withCharset("windows-1252", "\x81").Find("Confirm"), nullptr);
  EXPECT_THROW(withCharset("KOI8-R", "x"), EInvalidCatalog);
}

TEST(MoCatalog, RejectsWhatIsNotASoundCatalog) {
  const std::string good = MoBytes(Danish);
  EXPECT_THROW(TMoCatalog::FromBytes(""), EInvalidCatalog);
  EXPECT_THROW(TMoCatalog::FromBytes(good.substr(0, 27)), EInvalidCatalog);
  // Cut inside the texts: the last translation loses its end.
  EXPECT_THROW(TMoCatalog::FromBytes(good.substr(0, good.size() - 2)), EInvalidCatalog);

  std::string badMagic = good;
  badMagic[0] = 'x';
  EXPECT_THROW(TMoCatalog::FromBytes(badMagic), EInvalidCatalog);

  std::string laterRevision = good;
  laterRevision[6] = 2;  // major revision 2
  EXPECT_THROW(TMoCatalog::FromBytes(laterRevision), EInvalidCatalog);

  std::string hugeCount = good;
  hugeCount.replace(8, 4, "\xff\xff\xff\xff");
  EXPECT_THROW(TMoCatalog::FromBytes(hugeCount), EInvalidCatalog);

  std::string textOutside = good;
  textOutside.replace(28 + 8 + 4, 4, "\xf0\xff\xff\xff");  // second original's offset
  EXPECT_THROW(TMoCatalog::FromBytes(textOutside), EInvalidCatalog);

  std::string missingNul = good;
  missingNul.back() = 'x';
  EXPECT_THROW(TMoCatalog::FromBytes(missingNul), EInvalidCatalog);
}

TEST(MoCatalog, AMissingFileIsInvalid) {
  EXPECT_THROW(TMoCatalog::LoadFromFile("/nonexistent/tolvane/default.mo"), EInvalidCatalog);
  EXPECT_THROW(TMoCatalog::LoadFromFile("/"), EInvalidCatalog);
}

// Every prefix of a catalog, and catalogs with bytes overwritten at random, either read as a
// catalog or are rejected; none may read outside the bytes or bring the program down.
TEST(MoCatalog, SurvivesTruncatedAndGarbledBytes) {
  for (bool bigEndian : {false, true}) {
    const std::string good = MoBytes(Danish, bigEndian);
    for (std::size_t size = 0; size < good.size(); ++size) {
      // The copy gives the sanitizers the exact end of the bytes.
      const std::string prefix = good.substr(0, size);
      EXPECT_THROW(TMoCatalog::FromBytes(prefix), EInvalidCatalog) << size;
    }

    std::mt19937 random(bigEndian ? 7 : 11);
    std::uniform_int_distribution<std::size_t> place(0, good.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::size_t tablesEnd = 28 + 16 * Danish.size();
    int read = 0;
    for (int round = 0; round < 20000; ++round) {
      std::string garbled = good;
      const int changes = 1 + round % 4;
      for (int i = 0; i < changes; ++i) {
        // Half the changes hit the header and tables, where one byte decides most.
        const std::size_t at = round % 2 ? place(random) % tablesEnd : place(random);
        garbled[at] = static_cast<char>(byte(random));
      }
      try {
        EXPECT_LE(TMoCatalog::FromBytes(garbled).Count(), Danish.size());
        ++read;
      } catch (const EInvalidCatalog&) {
      }
    }
    // Many changes only touch the texts, so some garbled catalogs still read.
    EXPECT_GT(read, 0);
  }
}

}  // namespace
