// The jobs the link sends (identify, read, write, erase), the unattended write, and what
// happens when the programmer stops taking data.
#include <gtest/gtest.h>

#include "LinkFakes.h"
#include "framework/Exception.h"

namespace {

const std::string Recognized = " Tolvane II recognized... Device = ";
const std::vector<std::string> IdentifyBytes{"zzzz", "zzzz", "\xA4"};

class LinkJobs : public ::testing::Test, public TLinkRig {
protected:
  std::string NotAccepted() {
    try {
      Run();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "accepted";
  }
  std::function<void()> Run;
};

TEST_F(LinkJobs, IdentificationRequest) {
  Link.buf.AppendText("leftover");
  Link.ComPortAfterOpen();
  EXPECT_EQ(Channel.Writes, IdentifyBytes);
  EXPECT_TRUE(Link.IdentifyPending);
  EXPECT_EQ(Link.ChipId, -1);
  EXPECT_TRUE(Link.buf.Empty());
}

TEST_F(LinkJobs, ReadSendsTheSizeAndSetsUpTheProgress) {
  View.Memo.SetText(":00000001FF\r\n");
  const int changes = View.MemoChanges;
  Identify("0E40Ready");  // PIC16F873A
  Channel.Writes.clear();
  Link.buf.AppendText("junk");
  Link.ToolButton2Click();
  EXPECT_EQ(Channel.Writes, std::vector<std::string>{"#0402"});
  EXPECT_EQ(Link.LinkMode, 2);
  EXPECT_TRUE(View.Memo.Empty());
  EXPECT_EQ(View.MemoChanges, changes);  // clearing is no change notice
  EXPECT_TRUE(Link.buf.Empty());
  EXPECT_TRUE(View.AllButtons(false));
  EXPECT_FALSE(View.PortSelectorEnabled);
  EXPECT_EQ(View.ProgressMax, 4 * 5760 + 2 * 360 + 66);
  EXPECT_EQ(View.ProgressPosition, 0);
  EXPECT_EQ(View.ProgressLabel, "Read from PIC16xxx in progress...");
  EXPECT_TRUE(View.ProgressVisible);
}

TEST_F(LinkJobs, ReadBeforeAnyChipUsesTheSmallestLayout) {
  Link.ToolButton2Click();
  EXPECT_EQ(Channel.Writes, std::vector<std::string>{"#0101"});
  EXPECT_EQ(View.ProgressMax, 5760 + 360 + 66);
}

TEST_F(LinkJobs, WriteSendsEveryCharacterAloneWithoutBreaks) {
  const std::string longLine(5000, 'A');
  View.Memo.SetText(":020000000128D5\r\n" + longLine + "\r\n\r\n:00000001FF");
  Link.buf.AppendText("junk");
  Link.ToolButton1Click();

  std::string expected = ":020000000128D5" + longLine.substr(0, 4096) + ":00000001FF";
  ASSERT_EQ(Channel.Writes.size(), expected.size());
  EXPECT_EQ(Channel.AllWritten(), expected);
  EXPECT_EQ(View.ProgressPositions, (std::vector<int>{0, 0, 1, 2, 3, 4}));
  EXPECT_EQ(View.ProgressMax, 4);
  EXPECT_EQ(View.ProgressLabel, "Write to PIC16xxx in progress...");
  EXPECT_TRUE(View.ProgressVisible);
  EXPECT_TRUE(View.AllButtons(false));
  EXPECT_FALSE(View.PortSelectorEnabled);
  EXPECT_TRUE(Link.buf.Empty());
  EXPECT_TRUE(Link.WriteIssued);
  const std::vector<std::string> journal{"selector:off", "repaint", "repaint-progress"};
  EXPECT_EQ(View.Journal, journal);
}

TEST_F(LinkJobs, WriteEndsWithTheEndOfFileRecord) {
  // Nothing after the record reaches the programmer: not the Ctrl-Z marks and blanks that
  // DOS-era tools append, nor anything else an unchecked image might hold there.
  View.Memo.SetText(":020000000128D5\r\n  :00000001FF \x1A\r\n\x1A\r\n#0804\xA7\r\n");
  Link.ToolButton1Click();
  EXPECT_EQ(Channel.AllWritten(), ":020000000128D5  :00000001FF");
  EXPECT_EQ(View.ProgressPosition, View.ProgressMax);

  // A port that stops taking data says how much of that image was left.
  TLinkRig rig;
  rig.View.Memo.SetText(View.Memo.Text());
  rig.Channel.Budget = 4;
  try {
    rig.Link.ToolButton1Click();
    ADD_FAILURE() << "a refused write reported success";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Tolvane II did not accept the data: 4 of 28 characters sent");
  }
}

TEST_F(LinkJobs, EraseOnlyAfterYes) {
  for (int answer : {mrNo, mrCancel}) {
    View.Answer = answer;
    Link.ToolButton3Click();
  }
  EXPECT_TRUE(Channel.Writes.empty());
  EXPECT_TRUE(View.PortSelectorEnabled);

  View.Buttons[TToolButtonId::Read] = true;
  View.Answer = mrYes;
  Link.ToolButton3Click();
  EXPECT_EQ(View.Messages, std::vector<std::string>(3, "Do you want to erase the PIC?"));
  EXPECT_EQ(Channel.Writes, std::vector<std::string>{"\xA7"});
  EXPECT_FALSE(View.PortSelectorEnabled);
  EXPECT_TRUE(View.ButtonEnabled(TToolButtonId::Read));
  EXPECT_FALSE(View.ProgressVisible);
}

// --- The unattended write ---

TEST_F(LinkJobs, UnattendedWriteRunsInsideTheCompletionAndEndsTheProgram) {
  Link.AutoMode = true;
  View.Memo.SetText(":020000000128D5\r\n:00000001FF\r\n");
  Identify("09A0\r\nReady\r\n");

  EXPECT_EQ(Channel.AllWritten(), "zzzzzzzz\xA4:020000000128D5:00000001FF");
  EXPECT_TRUE(Link.WriteIssued);
  EXPECT_EQ(View.EndRequests, 1);
  // The write ran while the connection line was being set, before the selector came back.
  const std::vector<std::string> tail{"connection:" + Recognized + "PIC16F877", "selector:off",
                                      "repaint", "repaint-progress", "selector:on", "end"};
  ASSERT_GE(View.Journal.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(View.Journal.end() - tail.size(), View.Journal.end()), tail);
}

TEST_F(LinkJobs, UnattendedWriteNeedsAnIdentifiedChipAndAnImage) {
  struct TCase {
    std::string Answer;
    bool WithImage;
  };
  for (const TCase& c : {TCase{"xyz\r\nReady", true}, TCase{"09a0\r\nReady", true},
                         TCase{"09A0\r\nReady", false}}) {
    TLinkRig rig;
    rig.Link.AutoMode = true;
    if (c.WithImage) rig.View.Memo.SetText(":00000001FF\r\n");
    rig.Identify(c.Answer);
    EXPECT_EQ(rig.Channel.Writes, IdentifyBytes) << c.Answer;
    EXPECT_FALSE(rig.Link.WriteIssued);
    EXPECT_EQ(rig.View.EndRequests, 0);
  }
}

TEST_F(LinkJobs, StrayReadyDoesNotStartTheUnattendedWriteAgain) {
  Link.AutoMode = true;
  Identify("09A0Ready");  // no image yet: Write stays disabled, nothing is written
  ASSERT_FALSE(Link.WriteIssued);
  View.Memo.SetText(":00000001FF\r\n");
  View.Buttons[TToolButtonId::Write] = true;
  Channel.Writes.clear();

  Receive("Ready\r\n");
  EXPECT_TRUE(Channel.Writes.empty());
  EXPECT_EQ(View.EndRequests, 0);
  EXPECT_EQ(View.Panels[0], " Ready");
}

TEST_F(LinkJobs, AttendedModeNeverWritesOnItsOwn) {
  View.Memo.SetText(":00000001FF\r\n");
  Identify("09A0Ready");
  EXPECT_EQ(Channel.Writes, IdentifyBytes);
  Link.ToolButton1Click();
  Receive("Ready");
  EXPECT_EQ(View.EndRequests, 0);
}

// --- The programmer stops taking data ---

TEST_F(LinkJobs, ShortWriteStopsEveryJobAndSaysHowFarItGot) {
  struct TCase {
    const char* Job;
    int Budget;
    std::function<void(TLinkRig&)> Run;
    const char* Message;
  };
  const TCase cases[] = {
      {"identify", 6, [](TLinkRig& r) { r.Link.ComPortAfterOpen(); }, "6 of 9"},
      {"identify", 0, [](TLinkRig& r) { r.Link.ComPortAfterOpen(); }, "0 of 9"},
      {"read", 2, [](TLinkRig& r) { r.Link.ToolButton2Click(); }, "2 of 5"},
      {"erase", 0, [](TLinkRig& r) { r.Link.ToolButton3Click(); }, "0 of 1"},
  };
  for (const TCase& c : cases) {
    TLinkRig rig;
    rig.View.PortSelectorEnabled = false;
    rig.Channel.Budget = c.Budget;
    try {
      c.Run(rig);
      ADD_FAILURE() << c.Job << " reported success";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), std::string("Tolvane II did not accept the data: ") + c.Message +
                                 " characters sent")
          << c.Job;
    }
    EXPECT_EQ(rig.Channel.AllWritten().size(), static_cast<std::size_t>(c.Budget)) << c.Job;
    EXPECT_TRUE(rig.Channel.Writes.back().size() < 5) << c.Job;
    EXPECT_TRUE(rig.View.PortSelectorEnabled) << c.Job;
  }
}

// A port that fails in the middle of a job gives the selector back, so that the user can pick
// the port again; the failure goes on to the top-level handler.
TEST_F(LinkJobs, PortFailureInAJobGivesThePortSelectorBack) {
  View.Memo.SetText(":00000001FF\r\n");
  Channel.Broken = true;
  for (const auto& job : std::vector<std::function<void()>>{[this] { Link.ToolButton1Click(); },
                                                           [this] { Link.ToolButton2Click(); },
                                                           [this] { Link.ToolButton3Click(); }}) {
    View.PortSelectorEnabled = false;
    EXPECT_THROW(job(), Exception);
    EXPECT_TRUE(View.PortSelectorEnabled);
  }
}

// A read whose command did not get out never started: after reconnecting, the answer to the
// identification is an identification again, not the chip's contents.
TEST_F(LinkJobs, RefusedReadCommandLeavesTheLinkAnsweringCommands) {
  Identify("09A0Ready");
  Channel.Budget = 3;
  Run = [this] { Link.ToolButton2Click(); };
  EXPECT_EQ(NotAccepted(), "Tolvane II did not accept the data: 3 of 5 characters sent");
  EXPECT_NE(Link.LinkMode, 2);

  Channel.Budget = 1 << 30;
  Identify("0E40Ready");
  EXPECT_EQ(Link.Chip.ChipName, "PIC16F873A");
  EXPECT_EQ(View.Connection, Recognized + "PIC16F873A");
  EXPECT_TRUE(View.Memo.Empty());
}

TEST_F(LinkJobs, ShortWriteInTheImageSendsNothingMore) {
  const std::string longLine(5000, 'B');
  View.Memo.SetText("ABCDEF\r\nGH\r\n" + longLine + "\r\n");
  Channel.Budget = 5;
  Run = [this] { Link.ToolButton1Click(); };
  // Lines are counted as they would have been sent: the long one cut at 4096.
  EXPECT_EQ(NotAccepted(), "Tolvane II did not accept the data: 5 of " +
                               std::to_string(6 + 2 + 4096) + " characters sent");
  EXPECT_EQ(Channel.Writes.size(), 6u);  // the refused character was the last one offered
  EXPECT_EQ(Channel.AllWritten(), "ABCDE");
  EXPECT_FALSE(Link.WriteIssued);
  EXPECT_TRUE(View.PortSelectorEnabled);
  EXPECT_EQ(View.ProgressPosition, 0);
}

TEST_F(LinkJobs, ShortUnattendedWriteDoesNotEndTheProgram) {
  Link.AutoMode = true;
  View.Memo.SetText(":020000000128D5\r\n:00000001FF\r\n");
  Channel.Budget = 9 + 20;  // the identification, then 20 characters of the image
  Run = [this] { Identify("09A0Ready"); };
  EXPECT_EQ(NotAccepted(), "Tolvane II did not accept the data: 20 of 26 characters sent");
  EXPECT_FALSE(Link.WriteIssued);
  EXPECT_EQ(View.EndRequests, 0);
  EXPECT_TRUE(View.PortSelectorEnabled);
}

}  // namespace
