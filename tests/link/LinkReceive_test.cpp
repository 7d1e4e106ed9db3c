// How the link reads the programmer's answers: read results, error addresses, identification.
#include <gtest/gtest.h>

#include "LinkFakes.h"

namespace {

using namespace std::string_literals;

const std::string Recognized = " Tolvane II recognized... Device = ";

class LinkReceive : public ::testing::Test, public TLinkRig {
protected:
  // A PIC16F877 in the socket, identified, with the journal emptied.
  void IdentifyF877() {
    Identify("09A0\r\nReady\r\n");
    ASSERT_EQ(Link.Chip.ChipName, "PIC16F877");
    View.Journal.clear();
    Channel.Writes.clear();
  }
  void StartRead() {
    Link.ToolButton2Click();
    View.ProgressPositions.clear();
  }
};

// --- Read answers ---

TEST_F(LinkReceive, ReadAnswerInChunksFollowsTheBufferAndEndsOnlyOnReady) {
  IdentifyF877();
  StartRead();
  const std::string answer =
      ":020000000128D5\r\n:02400E00723FFF\r\n:00000001FF\r\nReady\r\n";
  std::vector<int> expected;
  for (std::size_t at = 0; at < answer.size(); at += 7) {
    EXPECT_EQ(Link.LinkMode, 2) << "ended early at " << at;
    EXPECT_TRUE(View.Memo.Empty());
    EXPECT_TRUE(View.AllButtons(false));
    Receive(answer.substr(at, 7));
    expected.push_back(static_cast<int>(std::min(answer.size(), at + 7)));
  }
  // The marker was split between the last two chunks.
  ASSERT_NE(answer.find("Ready") / 7, (answer.find("Ready") + 4) / 7);
  EXPECT_EQ(View.ProgressPositions, expected);
  EXPECT_EQ(View.Memo.Text(), ":020000000128D5\r\n:02400E00723FFF\r\n:00000001FF\r\n");
  EXPECT_EQ(View.MemoChanges, 3);  // once per line appended
  EXPECT_EQ(Link.LinkMode, -1);
  EXPECT_TRUE(View.AllButtons(true));
  EXPECT_EQ(View.Panels[1], " Read-result form PIC16F877");
  EXPECT_FALSE(View.ProgressVisible);
  EXPECT_TRUE(View.PortSelectorEnabled);
  EXPECT_TRUE(Link.buf.Empty());
}

TEST_F(LinkReceive, ReadyWithOrWithoutABreakGivesTheSameImage) {
  for (const std::string ending : {"Ready", "Ready\r\n"}) {
    TLinkRig rig;
    rig.Link.ToolButton2Click();
    rig.Receive(":020000000128D5\r\n");
    rig.Receive(":00000001FF\r\n" + ending);
    EXPECT_EQ(rig.View.Memo.Text(), ":020000000128D5\r\n:00000001FF\r\n") << ending;
  }
}

TEST_F(LinkReceive, ReadyAloneLeavesTheImageEmpty) {
  StartRead();
  Receive("Ready\r\n");
  EXPECT_TRUE(View.Memo.Empty());
  EXPECT_EQ(View.MemoChanges, 0);
  EXPECT_EQ(Link.LinkMode, -1);
}

TEST_F(LinkReceive, ReadModeLooksForNothingButReady) {
  IdentifyF877();
  Link.ComPortAfterOpen();  // an identification is pending too
  StartRead();
  Receive("0012Error\r\n");
  EXPECT_TRUE(View.Messages.empty());
  EXPECT_EQ(Link.LinkMode, 2);
  Receive("Ready");
  EXPECT_TRUE(View.Messages.empty());
  EXPECT_TRUE(Link.IdentifyPending);
  EXPECT_EQ(View.Memo.Text(), "0012Error\r\n");
  EXPECT_EQ(View.Connection, Recognized + "PIC16F877");
}

TEST_F(LinkReceive, MarkersSplitAnywhereAreFoundOnTheirLastCharacter) {
  for (std::size_t split = 1; split < 5; ++split) {
    SCOPED_TRACE(split);
    const std::string hex = ":020000000128D5\r\n:00000001FF\r\n";
    TLinkRig read;
    read.Link.ToolButton2Click();
    read.Receive(hex + std::string("Ready").substr(0, split));
    EXPECT_EQ(read.Link.LinkMode, 2);
    read.Receive(std::string("Ready").substr(split));
    EXPECT_EQ(read.Link.LinkMode, -1);
    EXPECT_EQ(read.View.Memo.Count(), 2);

    TLinkRig identify;
    identify.Identify("09A0\r\n" + std::string("Ready").substr(0, split));
    EXPECT_EQ(identify.View.Connection, "");
    identify.Receive(std::string("Ready").substr(split));
    EXPECT_EQ(identify.View.Connection, Recognized + "PIC16F877");

    TLinkRig failed;
    failed.Receive("\r\n0012" + std::string("Error").substr(0, split));
    EXPECT_TRUE(failed.View.Messages.empty());
    failed.Receive(std::string("Error").substr(split));
    EXPECT_EQ(failed.View.Messages,
              std::vector<std::string>{"Program-process faulture on address: 0012"});
  }
}

TEST_F(LinkReceive, AfterAReadTheNextAnswersAreCommandAnswers) {
  StartRead();
  Receive("Ready\r\n");
  Receive("0012E");
  Receive("rror\r\n");
  EXPECT_EQ(View.Messages, std::vector<std::string>{"Program-process faulture on address: 0012"});
  View.Buttons.clear();
  Receive("Re");
  Receive("ady");
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Read));
  EXPECT_EQ(Link.LinkMode, -1);
}

// --- Error addresses ---

TEST_F(LinkReceive, SeveralErrorAddressesInOneChunk) {
  IdentifyF877();
  Receive("0012Error\r\n0034Error\r\n");
  EXPECT_EQ(View.Messages,
            std::vector<std::string>{"Program-process faulture on address: 0012, 0034"});
  const std::vector<std::string> expected{
      "panel0: Error", "message:Program-process faulture on address: 0012, 0034",
      "panel0: Ready", "selector:on"};
  EXPECT_EQ(View.Journal, expected);
  EXPECT_FALSE(View.ProgressVisible);
  EXPECT_TRUE(Link.buf.Empty());
}

TEST_F(LinkReceive, ErrorAddressesTakeWhatPrecedesTheMarker) {
  const std::pair<std::string, std::string> cases[] = {
      {"12Error", "address: 12Er"},  // too short before the marker: the text's first four
      {"ErrorError", "address: Erro, Erro"},
      {"0012ErrorAErrorB0034Error", "address: 0012, AErr, 0034"},
      {"xx0AB0Error", "address: 0AB0"},
      // Any four bytes, shown as Latin-1 and kept whole past a NUL.
      {"\0\x80\xE6\xFF" "Error"s, "address: \0\xC2\x80\xC3\xA6\xC3\xBF"s},
  };
  for (const auto& [answer, addresses] : cases) {
    TLinkRig rig;
    rig.Receive(answer);
    ASSERT_EQ(rig.View.Messages.size(), 1u) << answer;
    EXPECT_EQ(rig.View.Messages[0], "Program-process faulture on " + addresses);
  }
}

TEST_F(LinkReceive, ReadyArrivingWithErrorsIsDiscarded) {
  Link.ToolButton1Click();  // an empty write still disables everything
  View.Journal.clear();
  Receive("0012Error\r\nReady\r\n");
  EXPECT_EQ(View.Messages.size(), 1u);
  EXPECT_TRUE(View.AllButtons(false));  // a handled Ready would have enabled them
  EXPECT_EQ(View.Connection, "");
  EXPECT_TRUE(Link.buf.Empty());
  Receive("Ready");
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Read));
}

TEST_F(LinkReceive, ErrorMarkerSplitAcrossChunks) {
  Receive("0012Er");
  EXPECT_TRUE(View.Messages.empty());
  Receive("ror\r\n");
  EXPECT_EQ(View.Messages, std::vector<std::string>{"Program-process faulture on address: 0012"});
}

// --- Identification ---

struct TIdentification {
  std::string Answer;
  int ChipId;
  std::string ChipName;
};

TEST_F(LinkReceive, IdentificationAnswers) {
  const TIdentification cases[] = {
      {"09A0\r\nReady\r\n", 154, "PIC16F877"},
      {"09B3Ready", 154, "PIC16F877"},  // the lowest digit kept is a revision bit
      {"10E0\r\nReady", 270, "PIC16F630"},
      {"3FFF\r\nReady", 1022, "Unknown"},
      {"09a0\r\nReady", -1, "Unknown"},
      {"\r\n09A0Ready", 154, "PIC16F877"},  // a late line end of the answer before
      {"\n10E0\r\nReady", 270, "PIC16F630"},
      {"000\r\nReady", 0, "None"},
      {"0010Ready", 0, "None"},
  };
  for (const TIdentification& c : cases) {
    TLinkRig rig;
    rig.Identify(c.Answer);
    EXPECT_EQ(rig.Link.ChipId, c.ChipId) << c.Answer;
    EXPECT_EQ(rig.Link.Chip.ChipName, c.ChipName) << c.Answer;
    EXPECT_EQ(rig.View.Connection, Recognized + c.ChipName) << c.Answer;
    EXPECT_FALSE(rig.Link.IdentifyPending);
    EXPECT_EQ(rig.Channel.Writes.size(), 3u) << "no retry for " << c.Answer;
  }
}

TEST_F(LinkReceive, IdentificationSetsTheCommandStates) {
  Identify("09A0\r\n");
  EXPECT_TRUE(View.AllButtons(false));  // nothing happens before Ready
  Receive("Rea");
  EXPECT_EQ(View.Connection, "");
  Receive("dy\r\n");
  EXPECT_EQ(View.Panels[0], " Ready");
  EXPECT_FALSE(View.ButtonEnabled(TToolButtonId::Write));  // no image yet
  EXPECT_FALSE(View.ButtonEnabled(TToolButtonId::Save));
  for (TToolButtonId b : {TToolButtonId::Read, TToolButtonId::Erase, TToolButtonId::Load,
                          TToolButtonId::Identify})
    EXPECT_TRUE(View.ButtonEnabled(b));
  EXPECT_TRUE(View.PortSelectorEnabled);
  EXPECT_TRUE(Link.buf.Empty());

  View.Memo.SetText(":00000001FF\r\n");
  Receive("Ready");
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Write));
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Save));
}

TEST_F(LinkReceive, NoChipKeepsTheLastSizeForReading) {
  Identify("09A0Ready");
  Identify("0000Ready");
  EXPECT_EQ(View.Connection, Recognized + "None");
  Channel.Writes.clear();
  Link.ToolButton2Click();
  EXPECT_EQ(Channel.Writes, std::vector<std::string>{"#0804"});
}

TEST_F(LinkReceive, ReadyAloneAsksAgainTenTimesInARun) {
  const std::vector<std::string> identify{"zzzz", "zzzz", "\xA4"};
  Link.ComPortAfterOpen();
  for (int retry = 1; retry <= 10; ++retry) {
    Channel.Writes.clear();
    Receive("Ready\r\n");
    EXPECT_EQ(Channel.Writes, identify) << retry;
    EXPECT_EQ(Link.IdentifyRetries, retry);
    EXPECT_TRUE(Link.IdentifyPending);
    EXPECT_EQ(Link.Chip.ChipName, "Unknown");
  }
  Channel.Writes.clear();
  Receive("Ready\r\n");
  EXPECT_TRUE(Channel.Writes.empty());
  EXPECT_FALSE(Link.IdentifyPending);

  // Reopening the port does not renew the allowance.
  Identify("Ready");
  EXPECT_EQ(Channel.Writes, identify);  // the opening's own request only
  EXPECT_EQ(Link.IdentifyRetries, 10);
  EXPECT_EQ(View.Connection, Recognized + "Unknown");

  // A real answer still identifies the chip.
  Identify("0560Ready");
  EXPECT_EQ(Link.Chip.ChipName, "PIC16F84A");
}

TEST_F(LinkReceive, StrayReadyWhileIdleRestoresTheCommandsOnly) {
  IdentifyF877();
  View.Panels[0] = " Busy";
  View.Buttons.clear();
  Receive("\r\nReady\r\n");
  EXPECT_EQ(View.Panels[0], " Ready");
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Read));
  EXPECT_EQ(Link.Chip.ChipName, "PIC16F877");
  EXPECT_EQ(Link.ChipId, 154);
  EXPECT_TRUE(Channel.Writes.empty());
}

}  // namespace
