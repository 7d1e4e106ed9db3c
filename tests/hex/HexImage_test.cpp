#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "hex/HexImage.h"

using namespace Hex;

namespace {

std::string MessageOf(std::string_view text, THexRules rules = THexRules::Lenient) {
  try {
    ReadHex(text, rules);
  } catch (const EHexFormat& e) {
    return e.Message();
  }
  return "(accepted)";
}

}  // namespace

TEST(HexRecord, FormatsWithChecksum) {
  const std::uint8_t config[] = {0x72, 0x3F};
  EXPECT_EQ(FormatRecord(rtData, 0x400E, config, 2), ":02400E00723FFF");
  EXPECT_EQ(FormatRecord(rtEndOfFile, 0, nullptr, 0), ":00000001FF");
  const std::uint8_t upper[] = {0x00, 0x00};
  EXPECT_EQ(FormatRecord(rtExtendedLinearAddress, 0, upper, 2), ":020000040000FA");
}

TEST(HexRecord, ParsesFieldsInEitherCase) {
  const THexRecord r = ParseRecord(":02400e00723fff");
  EXPECT_EQ(r.Type, rtData);
  EXPECT_EQ(r.Address, 0x400E);
  EXPECT_EQ(r.Data, (std::vector<std::uint8_t>{0x72, 0x3F}));
}

TEST(HexImage, WriterSplitsAtGapsAndSixteenByteRows) {
  THexImage image;
  for (std::uint32_t a = 0x0E; a < 0x24; ++a) image[a] = std::uint8_t(a);
  image[0x4000] = 1;
  const std::string text = WriteHex(image, "\n");
  EXPECT_EQ(text,
            ":02000E000E0FD3\n"
            ":10001000101112131415161718191A1B1C1D1E1F68\n"
            ":040020002021222356\n"
            ":0140000001BE\n"
            ":00000001FF\n");
}

TEST(HexImage, RoundTripsAboveSixtyFourK) {
  THexImage image;
  std::mt19937 rng(7);
  for (std::uint32_t a : {0x0u, 0x1u, 0xFFF0u, 0xFFFFu, 0x10000u, 0x1FFFFu, 0x4200u, 0x123456u})
    image[a] = std::uint8_t(rng());
  const std::string text = WriteHex(image);
  EXPECT_NE(text.find(":020000040001F9\r\n"), std::string::npos);
  EXPECT_EQ(ReadHex(text), image);
}

TEST(HexImage, ReaderAcceptsTheUsualVariants) {
  // LF, CR and CR LF endings, blank lines, segment and linear bases, start addresses, text
  // after the end-of-file record.
  const std::string text =
      ":020000040000FA\r\n"
      "\r\n"
      ":020000000528D1\n"
      "  :02400E00723FFF  \r"
      ":020000021000EC\n"
      ":0100000011EE\n"
      ":0400000300001234B3\n"
      ":020000040002F8\n"
      ":0100050022D8\n"
      ":00000001FF\n"
      "garbage after the end\n";
  const THexImage image = ReadHex(text);
  const THexImage expected = {{0x0000, 0x05}, {0x0001, 0x28}, {0x400E, 0x72},
                              {0x400F, 0x3F}, {0x10000, 0x11},               {0x20005, 0x22}};
  EXPECT_EQ(image, expected);
}

TEST(HexImage, ReaderRejectsMalformedTextNamingTheLine) {
  struct Case {
    const char* text;
    const char* fragment;
  } cases[] = {
      {"020000000528D1\n:00000001FF\n", "line 1: record does not start with ':'"},
      {":00000001FF0\n", "line 1: record has 12 characters"},
      {":0000\n", "line 1: record too short"},
      {":020000000528D1\n:02000200G528D1\n:00000001FF\n", "line 2: invalid character 'G' at column 10"},
      {":020000000528D2\n", "line 1: checksum D1, the record says D2"},
      {":00000006FA\n", "line 1: unknown record type 6"},
      {":0100000100FE\n", "line 1: end-of-file record carries data"},
      {":0100000400FB\n", "line 1: extended address record must carry 2 bytes"},
      {":020000000528D1\n", "line 1: the text ends without an end-of-file record"},
      {"", "the text ends without an end-of-file record"},
      {":0100000011EE\n:0100000022DD\n:00000001FF\n", "line 2: address 0x0 given twice"},
      {":0100000011EE\n\n:01000000\x01" "1EE\n", "line 3: invalid character byte 0x01"},
      {":02000004FFFFFC\n:10FFF80000000000000000000000000000000000F9\n:00000001FF\n",
       "line 2: data runs past the 4 GB address space"},
  };
  for (const auto& c : cases) {
    const std::string message = MessageOf(c.text);
    EXPECT_NE(message.find(c.fragment), std::string::npos) << "text: " << c.text << "\ngot: " << message;
  }
  // The same byte given twice with the same value is harmless.
  EXPECT_NO_THROW(ReadHex(":0100000011EE\n:0100000011EE\n:00000001FF\n"));
}

TEST(HexImage, ProgrammerRulesTakeOnlyWhatTheProgrammerTakes) {
  // LF or CR LF, either letter case, zero upper addresses, blank lines after the end.
  const std::string good =
      ":020000040000FA\r\n:020000020000FC\n:020000000528d1\r\n:02400E00723FFF\n:00000001FF\r\n\r\n";
  std::vector<TRecordPlace> places;
  EXPECT_EQ(ReadHex(good, THexRules::Programmer, &places).size(), 4u);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[1].Line, 4u);
  EXPECT_EQ(places[1].Address, 0x400Eu);
  EXPECT_EQ(places[1].Length, 2u);

  // Each of these the lenient reader takes.
  struct Case {
    const char* text;
    const char* fragment;
  } cases[] = {
      {":020000000528D1\r:00000001FF\n", "line 1: the line ends in a lone CR"},
      {":0400000300001234B3\n:00000001FF\n", "line 1: record type 03"},
      {":0400000500001234B1\n:00000001FF\n", "line 1: record type 05"},
      {":020000040001F9\n:00000001FF\n", "line 1: extended address 0x1"},
      {":020000021000EC\n:00000001FF\n", "line 1: extended address 0x1000"},
      {":00000001FF\n:00000001FF\n", "line 2: text after the end-of-file record"},
      {":00000001FF\nPNG\n", "line 2: text after the end-of-file record"},
      {":00000001FF\r\n\x1A\r\r\n \x1A PNG", "line 4: text after the end-of-file record"},
  };
  for (const auto& c : cases) {
    EXPECT_NO_THROW(ReadHex(c.text)) << c.text;
    const std::string message = MessageOf(c.text, THexRules::Programmer);
    EXPECT_NE(message.find(c.fragment), std::string::npos) << "text: " << c.text << "\ngot: " << message;
  }
}

TEST(HexImage, ProgrammerRulesNameAByteGivenTwiceByItsWord) {
  // Programmer images are PIC16 words, named by word address in every other message.
  EXPECT_EQ(MessageOf(":0142000011AC\n:01420000229B\n:00000001FF\n", THexRules::Programmer),
            "line 2: 0x2100 given twice with different values");
}

TEST(HexImage, ProgrammerRulesTakeWhatIsSentExactly) {
  // What DOS-era tools append after the end-of-file record is no part of the image.
  const std::string image = ":020000000528D1\r\n:00000001FF";
  for (const char* tail : {"\x1A", "  \x1A\r\n", "\r\n\x1A", "\r\n\r\n \t\r\n\x1A\x1A", "\r"})
    EXPECT_EQ(ReadHex(image + tail, THexRules::Programmer).size(), 2u) << tail;
  // Where a sender stops on the record's line.
  EXPECT_EQ(EndOfImage(" :00000001ff \x1A"), 12u);
  EXPECT_FALSE(EndOfImage(":00000001FF0"));
  EXPECT_FALSE(EndOfImage(":00000001FE"));
  EXPECT_FALSE(EndOfImage(":020000000528D1"));

  // The programmer's image is sent line by line as a text box keeps it: at most 4096
  // characters of a line, so a longer one is refused rather than sent cut.
  const std::string record = ":020000000528D1";
  const std::string fits = std::string(4096 - record.size(), ' ') + record + "\r\n:00000001FF\r\n";
  EXPECT_EQ(ReadHex(fits, THexRules::Programmer).size(), 2u);
  EXPECT_EQ(MessageOf(":00000001FF\r\n" + std::string(5000, ' '), THexRules::Programmer), "(accepted)");
  EXPECT_EQ(MessageOf("\n " + fits, THexRules::Programmer),
            "line 2: the line has 4097 characters; the programmer's image takes at most 4096");
}

TEST(HexImage, ReaderSurvivesCorruptedInput) {
  const std::string good = WriteHex({{0x0, 0x28}, {0x1, 0x05}, {0x400E, 0x72}, {0x400F, 0x3F},
                                     {0x4200, 0x10}, {0x4201, 0x00}});
  std::mt19937 rng(42);
  const char alphabet[] = ":0123456789ABCDEFabcdefXZ\r\n\0 \xFF";
  int rejected = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string text = good;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0: text[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
        case 1: text.erase(at, 1 + rng() % 3); break;
        default: text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
      }
      if (text.empty()) text = ":";
    }
    try {
      ReadHex(text);
    } catch (const EHexFormat& e) {
      EXPECT_NE(e.Message().find("line "), std::string::npos) << e.Message();
      ++rejected;
    }
  }
  EXPECT_GT(rejected, 2000);
}

TEST(HexFile, SavesAndLoadsAndNamesTheFileOnErrors) {
  const std::string dir = MakeTempFolder("hex_test");
  const std::string path = dir + "/image.hex";
  const THexImage image = {{0x0, 0xFF}, {0x1, 0x3F}, {0x4200, 0xAB}, {0x4201, 0x00}};

  SaveHexFile(path, image);
  EXPECT_EQ(LoadHexFile(path), image);

  std::ofstream(path, std::ios::trunc) << ":0100000011EE\n:01000000\n";
  try {
    LoadHexFile(path);
    ADD_FAILURE() << "a broken file was accepted";
  } catch (const EHexFormat& e) {
    EXPECT_NE(e.Message().find(path + ", line 2:"), std::string::npos) << e.Message();
  }
  try {
    LoadHexFile(dir + "/missing.hex");
    ADD_FAILURE() << "a missing file was accepted";
  } catch (const EHexFormat& e) {
    EXPECT_NE(e.Message().find("cannot open " + dir + "/missing.hex"), std::string::npos);
  }
  EXPECT_THROW(SaveHexFile(dir + "/no/such/dir.hex", image), EHexFormat);

  std::remove(path.c_str());
  std::remove(dir.c_str());
}
