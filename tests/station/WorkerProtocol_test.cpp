#include <gtest/gtest.h>

#include "station/WorkerProtocol.h"

using namespace Station;

TEST(WorkerProtocol, EveryEventSurvivesItsLineTextsOfSeveralLinesIncluded) {
  const std::string detail = "count.hex: differs in 2 locations:\n  count.hex:7: 0x0005 \\ \r\n  ...";
  TWorkerEvent chip;
  chip.Kind = ekChip;
  chip.SizeCode = "0804";
  chip.IdWord = "0E28";
  chip.Text = "PIC16F877A";
  TWorkerEvent unknown = chip;
  unknown.SizeCode = unknown.IdWord = "";
  unknown.Text = "Unknown";
  TWorkerEvent fail{ekFail, "", "", detail, 0};
  TWorkerEvent error{ekError, "", "", detail, 4};
  TWorkerEvent progress{ekProgress, "", "", "", 57};
  for (const TWorkerEvent& event : {chip, unknown, fail, error, progress}) {
    const std::string line = FormatEvent(event);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const auto back = ParseEvent(line);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->Kind, event.Kind);
    EXPECT_EQ(back->SizeCode, event.SizeCode);
    EXPECT_EQ(back->IdWord, event.IdWord);
    EXPECT_EQ(back->Text, event.Text);
    EXPECT_EQ(back->Number, event.Number);
  }
  EXPECT_FALSE(ParseEvent("progress many"));
  EXPECT_FALSE(ParseEvent("Ready"));
  EXPECT_FALSE(ParseEvent(""));
}
