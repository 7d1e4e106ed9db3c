#include "DeviceProtocol.h"

#include <cstdio>

#include "hex/HexImage.h"

namespace Sim {

using std::chrono::microseconds;

namespace {

constexpr char IdentifyCommand = static_cast<char>(0xA4);
constexpr char EraseCommand = static_cast<char>(0xA7);
constexpr const char* ReadyAnswer = "Ready\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

TDeviceProtocol::TDeviceProtocol(TChipMemory& memory, TDeviceOptions options)
    : FMemory(memory),
      FOptions(std::move(options)),
      FTimes(DefaultTimes(memory.Model().Family)),
      FPresent(!FOptions.EmptySocket) {
  if (FOptions.ProgMs) {
    const auto us = static_cast<unsigned>(*FOptions.ProgMs * 1000.0 + 0.5);
    FTimes.WordUs = FTimes.EepromUs = FTimes.ConfigUs = FTimes.EraseUs = us;
  }
}

void TDeviceProtocol::Reset() {
  FState = stIdle;
  FPending.clear();
  FWriting = false;
  FOpenBlock.reset();
}

void TDeviceProtocol::SetChipPresent(bool present) {
  FPresent = present;
  FOpenBlock.reset();  // a latched block leaves with its chip
}

bool TDeviceProtocol::StartsCommand(char c) {
  return c == 'z' || c == '#' || c == IdentifyCommand || c == EraseCommand;
}

microseconds TDeviceProtocol::Feed(char c, std::string& answer) {
  if (FOptions.Silent) return microseconds(0);
  switch (FState) {
    case stReadCommand:
      if (IsDigit(c)) {
        FPending += c;
        if (FPending.size() == 4) {
          FState = stIdle;
          AnswerRead(answer);
        }
        return microseconds(0);
      }
      FState = stIdle;  // not a size code: the byte may start something else
      return FeedIdle(c, answer);
    case stRecord:
      if (Hex::HexDigitValue(c) >= 0) {
        FPending += c;
        if (FPending.size() >= 3 &&
            FPending.size() == Hex::RecordTextLength(std::size_t(Hex::HexDigitValue(FPending[1]) << 4 |
                                                                  Hex::HexDigitValue(FPending[2])))) {
          FState = stIdle;
          return FinishRecord(answer);
        }
        return microseconds(0);
      }
      // A record broken off by a byte that is no hex digit fails; the byte is taken afresh.
      FState = stIdle;
      AnswerError(PendingWordAddress(), answer);
      return FeedIdle(c, answer);
    case stIdle:
      break;
  }
  return FeedIdle(c, answer);
}

microseconds TDeviceProtocol::FeedIdle(char c, std::string& answer) {
  switch (c) {
    case ':':
      if (!FWriting) {
        FWriting = true;
        FBase = 0;
        FNextByte = 0;
      }
      FState = stRecord;
      FPending.assign(1, ':');
      return microseconds(0);
    case '#': {
      FState = stReadCommand;
      FPending.clear();
      return EndWrite();
    }
    case IdentifyCommand: {
      const auto t = EndWrite();
      AnswerIdentify(answer);
      return t;
    }
    case EraseCommand: {
      const auto t = EndWrite();
      ++FErases;
      if (FPresent) FMemory.Erase();
      answer += ReadyAnswer;
      return t + microseconds(FTimes.EraseUs);
    }
    default:  // the "zzzz" preamble and anything else that fits no command
      return microseconds(0);
  }
}

microseconds TDeviceProtocol::FinishRecord(std::string& answer) {
  std::uint32_t field = 0;
  for (int i = 3; i < 7; ++i) field = field << 4 | std::uint32_t(Hex::HexDigitValue(FPending[i]));
  const std::uint32_t byteAddress = FBase + field;

  Hex::THexRecord record;
  try {
    record = Hex::ParseRecord(FPending);
  } catch (const Hex::EHexFormat&) {
    AnswerError(byteAddress / 2, answer);
    return microseconds(0);
  }
  switch (record.Type) {
    case Hex::rtData:
      FNextByte = byteAddress + static_cast<std::uint32_t>(record.Data.size());
      for (std::size_t i = 0; i < record.Data.size(); ++i)
        if (std::uint64_t(byteAddress) + i > 0xFFFFFFFFu ||
            FMemory.RegionOf(std::uint32_t(byteAddress + i) / 2) == rgNone) {
          AnswerError(byteAddress / 2, answer);
          return microseconds(0);
        }
      return ProgramData(byteAddress, record.Data, answer);
    case Hex::rtEndOfFile: {
      const auto t = EndWrite();
      answer += ReadyAnswer;
      return t;
    }
    case Hex::rtExtendedSegmentAddress:
      FBase = std::uint32_t(record.Data[0] << 8 | record.Data[1]) << 4;
      return microseconds(0);
    case Hex::rtExtendedLinearAddress:
      FBase = std::uint32_t(record.Data[0] << 8 | record.Data[1]) << 16;
      return microseconds(0);
    default:  // start addresses mean nothing to a PIC
      return microseconds(0);
  }
}

microseconds TDeviceProtocol::ProgramData(std::uint32_t byteAddress,
                                          const std::vector<std::uint8_t>& data,
                                          std::string& answer) {
  if (!FPresent) {  // nothing takes the charge
    AnswerError(byteAddress / 2, answer);
    return microseconds(0);
  }
  microseconds busy(0);
  const std::uint32_t end = byteAddress + static_cast<std::uint32_t>(data.size());
  for (std::uint32_t w = byteAddress / 2; w * 2 < end; ++w) {
    // A record may cover half a word; the other half keeps what the chip holds.
    std::uint16_t value = FMemory.Word(w);
    for (std::uint32_t b = w * 2; b < w * 2 + 2; ++b)
      if (b >= byteAddress && b < end) {
        const std::uint8_t v = data[b - byteAddress];
        value = b % 2 ? std::uint16_t((value & 0x00FF) | v << 8) : std::uint16_t((value & 0xFF00) | v);
      }
    busy += ProgramWordTime(w);
    if (FOptions.FailAt.contains(w))
      AnswerError(w, answer);
    else if (!FOptions.KeepAt.contains(w))  // a worn cell takes no charge and says nothing
      FMemory.SetWord(w, value);
  }
  return busy;
}

microseconds TDeviceProtocol::ProgramWordTime(std::uint32_t w) {
  if (FMemory.RegionOf(w) != rgProgram) {
    const auto t = EndWrite();
    return t + microseconds(FMemory.RegionOf(w) == rgEeprom ? FTimes.EepromUs : FTimes.ConfigUs);
  }
  if (FTimes.BlockWords <= 1) return microseconds(FTimes.WordUs);
  // Block-programmed parts latch words and burn a block when its last word arrives or the
  // writes move on to another block.
  microseconds t(0);
  const std::uint32_t block = w / FTimes.BlockWords;
  if (FOpenBlock && *FOpenBlock != block) t += microseconds(FTimes.WordUs);
  FOpenBlock = block;
  if (w % FTimes.BlockWords == FTimes.BlockWords - 1) {
    t += microseconds(FTimes.WordUs);
    FOpenBlock.reset();
  }
  return t;
}

microseconds TDeviceProtocol::EndWrite() {
  FWriting = false;
  if (!FOpenBlock) return microseconds(0);
  FOpenBlock.reset();
  return microseconds(FTimes.WordUs);
}

std::uint32_t TDeviceProtocol::PendingWordAddress() const {
  if (FPending.size() < 7) return FNextByte / 2;
  std::uint32_t field = 0;
  for (int i = 3; i < 7; ++i) field = field << 4 | std::uint32_t(Hex::HexDigitValue(FPending[i]));
  return (FBase + field) / 2;
}

void TDeviceProtocol::AnswerRead(std::string& answer) const {
  // The size code's second digit counts K words of program memory, the fourth 64-byte blocks
  // of EEPROM; the answer covers what was asked, whatever the chip holds.
  const unsigned kWords = unsigned(FPending[1] - '0');
  const unsigned eeBlocks = unsigned(FPending[3] - '0');
  Hex::THexImage out = FMemory.ReadOut(kWords * 1024, eeBlocks * 64);
  if (!FPresent)
    for (auto& [address, value] : out) value = 0;  // no chip drives the data line
  answer += Hex::WriteHex(out, "\r\n");
  answer += ReadyAnswer;
}

void TDeviceProtocol::AnswerIdentify(std::string& answer) const {
  if (!FPresent) {
    answer += "0000\r\n";
  } else if (FOptions.IdText) {
    // An empty text makes the programmer answer with the completion marker alone.
    if (!FOptions.IdText->empty()) answer += *FOptions.IdText + "\r\n";
  } else {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", unsigned(FMemory.Model().DeviceId));
    answer += digits;
    answer += "\r\n";
  }
  answer += ReadyAnswer;
}

void TDeviceProtocol::AnswerError(std::uint32_t wordAddress, std::string& answer) {
  char text[16];
  std::snprintf(text, sizeof text, "%04XError\r\n", unsigned(wordAddress & 0xFFFF));
  answer += text;
}

}  // namespace Sim
