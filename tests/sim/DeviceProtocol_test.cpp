#include <gtest/gtest.h>

#include <map>

#include "DeviceProtocol.h"
#include "hex/HexImage.h"

using namespace Sim;
using std::chrono::microseconds;

namespace {

struct TExchange {
  std::string Answer;
  microseconds Busy{0};
};

TExchange Feed(TDeviceProtocol& device, const std::string& bytes) {
  TExchange result;
  for (char c : bytes) result.Busy += device.Feed(c, result.Answer);
  return result;
}

std::string Record(std::uint8_t type, std::uint16_t address, std::vector<std::uint8_t> data) {
  return Hex::FormatRecord(type, address, data.data(), data.size());
}

const std::string EndOfFile = ":00000001FF";
const std::string Identify = "\xA4";
const std::string Erase = "\xA7";

TDeviceOptions Untimed() {
  TDeviceOptions options;
  options.ProgMs = 0;
  return options;
}

}  // namespace

TEST(DeviceProtocol, IdentifiesEveryChipByItsDeviceIdWord) {
  // What the host derives from the first three digits: word >> 4, revision bit cleared.
  const std::map<std::string, unsigned> expected = {
      {"PIC16F84A", 0x056},  {"PIC16F872", 0x08E},  {"PIC16F874", 0x092},  {"PIC16F873", 0x096},
      {"PIC16F877", 0x09A},  {"PIC16F876", 0x09E},  {"PIC16F870", 0x0D0},  {"PIC16F871", 0x0D2},
      {"PIC16F876A", 0x0E0}, {"PIC16F877A", 0x0E2}, {"PIC16F873A", 0x0E4}, {"PIC16F874A", 0x0E6},
      {"PIC16F630", 0x10C}};
  ASSERT_EQ(AllChips().size(), expected.size());
  for (const auto& chip : AllChips()) {
    TChipMemory memory(chip);
    TDeviceProtocol device(memory, Untimed());
    const std::string answer = Feed(device, "zzzzzzzz" + Identify).Answer;
    ASSERT_EQ(answer.size(), 13u) << chip.Name << ": " << answer;
    EXPECT_EQ(answer.substr(4), "\r\nReady\r\n");
    EXPECT_EQ(answer.find_first_not_of("0123456789ABCDEF"), 4u) << answer;
    const unsigned number = std::stoul(answer.substr(0, 3), nullptr, 16) & 0x3FE;
    EXPECT_EQ(number, expected.at(chip.Name)) << chip.Name;
  }
}

TEST(DeviceProtocol, IdentificationTextCanBeReplaced) {
  TChipMemory memory(*FindChip("PIC16F877"));
  TDeviceOptions options = Untimed();
  options.IdText = "09a6";
  TDeviceProtocol device(memory, options);
  EXPECT_EQ(Feed(device, Identify).Answer, "09a6\r\nReady\r\n");

  options.IdText = "";
  TDeviceProtocol bare(memory, options);
  EXPECT_EQ(Feed(bare, Identify).Answer, "Ready\r\n");
}

TEST(DeviceProtocol, ReadAnswerLengthMatchesTheHostsEstimate) {
  // The host's progress bar runs to P x 5760 + D x 360 + 66 for the size code it sends,
  // whichever chip sits in the socket.
  for (const char* code : {"0101", "0201", "0402", "0804", "0102", "0000"}) {
    const unsigned p = unsigned(code[1] - '0'), d = unsigned(code[3] - '0');
    for (const char* chipName : {"PIC16F84A", "PIC16F877A", "PIC16F630"}) {
      TChipMemory memory(*FindChip(chipName));
      TDeviceProtocol device(memory, Untimed());
      const std::string answer = Feed(device, std::string("#") + code).Answer;
      EXPECT_EQ(answer.size(), p * 5760 + d * 360 + 66) << chipName << " asked " << code;
      ASSERT_TRUE(answer.ends_with("\r\n:00000001FF\r\nReady\r\n")) << chipName << " " << code;
      const Hex::THexImage image = Hex::ReadHex(answer);
      EXPECT_EQ(image.size(), p * 2048 + d * 128 + 10);
    }
  }
}

TEST(DeviceProtocol, ReadShowsBlankBeyondTheChipAndTheChipsOwnContents) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  memory.SetWord(0x3FF, 0x1234);
  memory.SetWord(0x2100 + 63, 0x5A);
  TDeviceProtocol device(memory, Untimed());
  const Hex::THexImage image = Hex::ReadHex(Feed(device, "#0804").Answer);
  EXPECT_EQ(image.at(0x7FE), 0x34);
  EXPECT_EQ(image.at(0x7FF), 0x12);
  EXPECT_EQ(image.at(0x800), 0xFF);  // past the 1K words: blank
  EXPECT_EQ(image.at(0x3FFF), 0x3F);
  EXPECT_EQ(image.at(0x4200 + 2 * 63), 0x5A);
  EXPECT_EQ(image.at(0x4200 + 2 * 64), 0xFF);
  EXPECT_EQ(image.at(0x4200 + 2 * 64 + 1), 0x00);
}

TEST(DeviceProtocol, WriteProgramsEveryMemoryAndEndsWithReady) {
  TChipMemory memory(*FindChip("PIC16F877A"));
  TDeviceProtocol device(memory, Untimed());
  const std::string image = Record(Hex::rtExtendedLinearAddress, 0, {0, 0}) +
                            Record(Hex::rtData, 0x0000, {0x8A, 0x01, 0x05, 0x28}) +
                            Record(Hex::rtData, 0x3FFE, {0x77, 0x30}) +          // last word
                            Record(Hex::rtData, 0x0011, {0xAB}) +                // half a word
                            Record(Hex::rtData, 0x4000, {1, 0, 2, 0, 3, 0, 4, 0}) +
                            Record(Hex::rtData, 0x400E, {0x72, 0x3F}) +
                            Record(Hex::rtData, 0x4200, {0x10, 0x00, 0x48, 0x00}) +
                            Record(Hex::rtData, 0x43FE, {0xEE, 0x00}) + EndOfFile;
  EXPECT_EQ(Feed(device, "zzzz" + image).Answer, "Ready\r\n");
  EXPECT_EQ(memory.Word(0), 0x018A);
  EXPECT_EQ(memory.Word(1), 0x2805);
  EXPECT_EQ(memory.Word(0x1FFF), 0x3077);
  EXPECT_EQ(memory.Word(8), 0x2BFF);  // high byte replaced, low byte kept
  EXPECT_EQ(memory.Word(0x2003), 4);
  EXPECT_EQ(memory.Word(0x2007), 0x3F72);
  EXPECT_EQ(memory.Word(0x2101), 0x48);
  EXPECT_EQ(memory.Word(0x21FF), 0xEE);
}

TEST(DeviceProtocol, ExtendedAddressesApplyWithinOneWrite) {
  TChipMemory memory(*FindChip("PIC16F877A"));
  TDeviceProtocol device(memory, Untimed());
  // A segment base of 0x400 moves the record to byte 0x4000 + 0x0E: the configuration word.
  EXPECT_EQ(Feed(device, Record(Hex::rtExtendedSegmentAddress, 0, {0x04, 0x00}) +
                             Record(Hex::rtData, 0x000E, {0x72, 0x3F}) + EndOfFile)
                .Answer,
            "Ready\r\n");
  EXPECT_EQ(memory.Word(0x2007), 0x3F72);
  // The next write starts from base 0 again.
  EXPECT_EQ(Feed(device, Record(Hex::rtData, 0x000E, {0x11, 0x22}) + EndOfFile).Answer, "Ready\r\n");
  EXPECT_EQ(memory.Word(7), 0x2211);
  // A linear base above the chip's memories puts the record out of range.
  EXPECT_EQ(Feed(device, Record(Hex::rtExtendedLinearAddress, 0, {0x00, 0x01}) +
                             Record(Hex::rtData, 0x0000, {0x00, 0x00}) + EndOfFile)
                .Answer,
            "8000Error\r\nReady\r\n");
}

TEST(DeviceProtocol, FaultyRecordsAreAnsweredWithTheirWordAddress) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  TDeviceProtocol device(memory, Untimed());
  std::string badChecksum = Record(Hex::rtData, 0x0020, {0x01, 0x02});
  badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
  const std::string beyondProgram = Record(Hex::rtData, 0x07FE, {0, 0, 0, 0});  // words 3FF-400
  const std::string beyondEeprom = Record(Hex::rtData, 0x4280, {0, 0});         // EEPROM byte 64
  const std::string deviceIdWord = Record(Hex::rtData, 0x400C, {0, 0});
  const std::string unknownType = Record(0x07, 0x0040, {});
  const std::string good = Record(Hex::rtData, 0x0002, {0x34, 0x12});

  const auto result = Feed(device, badChecksum + beyondProgram + beyondEeprom + deviceIdWord +
                                       unknownType + good + EndOfFile);
  EXPECT_EQ(result.Answer,
            "0010Error\r\n03FFError\r\n2140Error\r\n2006Error\r\n0020Error\r\nReady\r\n");
  // Nothing of a faulty record is programmed, even the part inside the chip.
  EXPECT_EQ(memory.Word(0x10), 0x3FFF);
  EXPECT_EQ(memory.Word(0x3FF), 0x3FFF);
  EXPECT_EQ(memory.Word(1), 0x1234);
}

TEST(DeviceProtocol, BrokenRecordFailsAndTheInterruptingByteStillCounts) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  TDeviceProtocol device(memory, Untimed());
  // Cut off inside the data by the identification command.
  EXPECT_EQ(Feed(device, ":04001000FF" + Identify).Answer, "0008Error\r\n0563\r\nReady\r\n");
  // Cut off before its address by the start of the next record: the error names the word
  // after the last record received.
  EXPECT_EQ(Feed(device, Record(Hex::rtData, 0x0040, {1, 0}) + ":0" + Record(Hex::rtData, 0x0044, {2, 0}) +
                             EndOfFile)
                .Answer,
            "0021Error\r\nReady\r\n");
  EXPECT_EQ(memory.Word(0x22), 2);
}

TEST(DeviceProtocol, FailingLocationsAreReportedAndKeepTheirContents) {
  TChipMemory memory(*FindChip("PIC16F877"));
  TDeviceOptions options = Untimed();
  options.FailAt = {0x0001, 0x0003, 0x2101};
  TDeviceProtocol device(memory, options);
  const std::string image = Record(Hex::rtData, 0x0000, {1, 0, 2, 0, 3, 0, 4, 0}) +
                            Record(Hex::rtData, 0x4200, {0xAA, 0, 0xBB, 0}) + EndOfFile;
  EXPECT_EQ(Feed(device, image).Answer, "0001Error\r\n0003Error\r\n2101Error\r\nReady\r\n");
  EXPECT_EQ(memory.Word(0), 1);
  EXPECT_EQ(memory.Word(1), 0x3FFF);
  EXPECT_EQ(memory.Word(2), 3);
  EXPECT_EQ(memory.Word(0x2100), 0xAA);
  EXPECT_EQ(memory.Word(0x2101), 0xFF);
}

TEST(DeviceProtocol, EraseBlanksTheChipAndStrayBytesAreIgnored) {
  TChipMemory memory(*FindChip("PIC16F873"));
  memory.SetWord(0x100, 0);
  memory.SetWord(0x2007, 0x3F32);
  memory.SetWord(0x2100, 1);
  TDeviceProtocol device(memory, Untimed());
  EXPECT_EQ(Feed(device, "zzzz\r\nhello" + Erase + "#08x").Answer, "Ready\r\n");
  EXPECT_EQ(memory.Image(), TChipMemory(*FindChip("PIC16F873")).Image());
}

TEST(DeviceProtocol, ResetForgetsAHalfReceivedRecord) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  TDeviceProtocol device(memory, Untimed());
  Feed(device, ":1000");
  device.Reset();
  EXPECT_EQ(Feed(device, "0000" + Identify).Answer, "0563\r\nReady\r\n");
}

TEST(DeviceProtocol, SilentDeviceNeverAnswersNorPrograms) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  TDeviceOptions options = Untimed();
  options.Silent = true;
  TDeviceProtocol device(memory, options);
  EXPECT_EQ(Feed(device, Identify + "#0101" + Record(Hex::rtData, 0, {0, 0}) + EndOfFile + Erase).Answer, "");
  EXPECT_EQ(memory.Word(0), 0x3FFF);
}

TEST(DeviceProtocol, ProgrammingTakesEachFamilysCycleTime) {
  const std::string eightWords = Record(Hex::rtData, 0x0000, std::vector<std::uint8_t>(16, 0));
  const std::string eightWordsAcrossBlocks = Record(Hex::rtData, 0x0008, std::vector<std::uint8_t>(16, 0));
  const std::string twoEepromBytes = Record(Hex::rtData, 0x4200, {1, 0, 2, 0});
  auto busy = [](const char* chip, const std::string& bytes) {
    TChipMemory memory(*FindChip(chip));
    TDeviceProtocol device(memory, TDeviceOptions{});
    return Feed(device, bytes).Busy.count();
  };
  EXPECT_EQ(busy("PIC16F84A", eightWords + EndOfFile), 8 * 8000);
  EXPECT_EQ(busy("PIC16F877", eightWords + EndOfFile), 8 * 4000);
  EXPECT_EQ(busy("PIC16F630", eightWords + EndOfFile), 8 * 2500);
  // The PIC16F87xA burns 8-word blocks: one aligned block is one cycle, a misaligned run two.
  EXPECT_EQ(busy("PIC16F877A", eightWords + EndOfFile), 4000);
  EXPECT_EQ(busy("PIC16F877A", eightWordsAcrossBlocks + EndOfFile), 2 * 4000);
  // A latched block is burnt before EEPROM is written.
  EXPECT_EQ(busy("PIC16F877A", Record(Hex::rtData, 0, {0, 0}) + twoEepromBytes + EndOfFile), 3 * 4000);
  EXPECT_EQ(busy("PIC16F630", twoEepromBytes + EndOfFile), 2 * 6000);
  EXPECT_EQ(busy("PIC16F84A", Erase), 10000);

  TChipMemory memory(*FindChip("PIC16F84A"));
  TDeviceOptions options;
  options.ProgMs = 1.5;
  TDeviceProtocol device(memory, options);
  EXPECT_EQ(Feed(device, eightWords + twoEepromBytes + EndOfFile + Erase).Busy.count(), 11 * 1500);
}
