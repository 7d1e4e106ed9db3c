#include "TempFolderTest.h"
#include "framework/TextBox.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "framework/Exception.h"

namespace {

std::vector<std::string> Lines(const TTextBox& box) {
  std::vector<std::string> lines;
  for (int i = 0; i < box.Count(); ++i) lines.push_back(box.Line(i));
  return lines;
}

TTextBox Box(std::string_view text) {
  TTextBox box;
  box.SetText(text);
  return box;
}

using Strings = std::vector<std::string>;

TEST(TextBox, LinesBreakAtCrLfOnlyAndAFinalBreakAddsNoLine) {
  EXPECT_EQ(Lines(Box("")), Strings{});
  EXPECT_EQ(Lines(Box("a")), Strings{"a"});
  EXPECT_EQ(Lines(Box("a\r\n")), Strings{"a"});
  EXPECT_EQ(Lines(Box("a\r\nb")), (Strings{"a", "b"}));
  EXPECT_EQ(Lines(Box("\r\n")), Strings{""});
  EXPECT_EQ(Lines(Box("\r\n\r\n")), (Strings{"", ""}));
  EXPECT_EQ(Lines(Box("a\nb\rc\r\r\n")), Strings{"a\nb\rc\r"});
  const TTextBox box = Box("a\r\nb");
  EXPECT_EQ(box.Line(2), "");
  EXPECT_EQ(box.Line(-1), "");
}

TEST(TextBox, LongLinesAreCut) {
  const std::string longLine(5000, 'x');
  const TTextBox box = Box(longLine + "\r\nshort");
  EXPECT_EQ(box.Line(0), longLine.substr(0, 4096));
  EXPECT_EQ(box.Line(1), "short");
  EXPECT_EQ(box.Text().size(), 5000u + 7u);
}

TEST(TextBox, AddFollowsTheBreakRules) {
  TTextBox box;
  int changes = 0;
  box.OnChange = [&] { ++changes; };
  box.Add("one");
  EXPECT_EQ(box.Text(), "one\r\n");
  box.Add("two");
  EXPECT_EQ(box.Text(), "one\r\ntwo\r\n");
  box.Clear();
  box.AppendText("tail");
  box.Add("next");
  EXPECT_EQ(box.Text(), "tail\r\nnext");
  EXPECT_EQ(Lines(box), (Strings{"tail", "next"}));
  box.Clear();
  box.Add("");
  EXPECT_EQ(box.Text(), "\r\n");
  EXPECT_EQ(box.Count(), 1);
  EXPECT_EQ(changes, 4);  // once per line; Clear and AppendText give no notice
}

TEST(TextBox, SetLine) {
  TTextBox box;
  int changes = 0;
  box.OnChange = [&] { ++changes; };
  box.SetLine(1, "ignored");
  EXPECT_TRUE(box.Empty());
  box.SetLine(0, "COM3");
  EXPECT_EQ(box.Text(), "COM3");
  box.SetText("a\r\nb\r\nc\r\n");
  box.SetLine(1, "middle");
  EXPECT_EQ(box.Text(), "a\r\nmiddle\r\nc\r\n");
  box.SetLine(1, "middle");
  box.SetLine(3, "past the end");
  EXPECT_EQ(box.Text(), "a\r\nmiddle\r\nc\r\n");
  EXPECT_EQ(changes, 3);
}

TEST(TextBox, AssignmentNoticesOnlyChanges) {
  TTextBox box;
  int changes = 0;
  box.OnChange = [&] { ++changes; };
  box.SetText("");
  box.SetText("x");
  box.SetText("x");
  box.Clear();
  EXPECT_EQ(changes, 1);
}

// Appending in pieces (as the receive buffer and a read fill boxes) must index lines exactly as
// a box given the whole text at once, breaks split across pieces included.
TEST(TextBox, LineIndexKeptAcrossAppendsMatchesAFreshOne) {
  std::mt19937 random(7);
  const std::string pieces[] = {"a", "bc", "\r", "\n", "\r\n", "\r\n\r", "", "\n\r"};
  for (int round = 0; round < 200; ++round) {
    TTextBox box;
    for (int step = 0; step < 12; ++step) {
      const std::string& piece = pieces[random() % std::size(pieces)];
      if (random() % 4 == 0) {
        box.Add(piece);
      } else {
        box.AppendText(piece);
      }
      if (random() % 2 == 0) box.Count();  // sometimes the index is current when appending
      ASSERT_EQ(Lines(box), Lines(Box(box.Text()))) << testing::PrintToString(box.Text());
    }
    box.Clear();
    EXPECT_EQ(box.Count(), 0);
    box.AppendText("z");
    EXPECT_EQ(Lines(box), Strings{"z"});
  }
}

class TextBoxFiles : public TTempFolderTest {
protected:
  std::string LoadError(const std::string& path) {
    TTextBox box;
    try {
      box.LoadFromFile(path);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "loaded";
  }
};

TEST_F(TextBoxFiles, LoadingNormalisesBreaksAndStopsAtNul) {
  TTextBox box;
  int changes = 0;
  box.OnChange = [&] { ++changes; };
  box.LoadFromFile(Write("mixed.hex", "a\r\nb\rc\nd\r\r\n\n\xA4\xFF"));
  EXPECT_EQ(box.Text(), "a\r\nb\r\nc\r\nd\r\n\r\n\r\n\xA4\xFF");
  EXPECT_EQ(changes, 1);
  box.LoadFromFile(Write("same.hex", "a\nb\nc\nd\n\n\n\xA4\xFF"));
  EXPECT_EQ(changes, 1);  // same text: no notice

  box.LoadFromFile(Write("nul-byte.hex", std::string("ab\r\0cd\r\n", 8)));  // NUL.* is a device on Windows
  EXPECT_EQ(box.Text(), "ab\r\n");
  box.LoadFromFile(Write("empty.hex", ""));
  EXPECT_TRUE(box.Empty());
  EXPECT_EQ(changes, 3);

  const std::string big(200000, 'x');
  box.LoadFromFile(Write("big.hex", big + "\r" + big));
  EXPECT_EQ(box.Text(), big + "\r\n" + big);
}

TEST_F(TextBoxFiles, SavingWritesTheTextByteForByte) {
  const std::string text = "one\r\ntwo\nthree\r\xA7\xFF";
  const TTextBox box = Box(text);
  const std::string path = Dir + "/out.hex";
  Write("out.hex", "an older and much longer content");
  box.SaveToFile(path);
  EXPECT_EQ(Read(path), text);
}

TEST_F(TextBoxFiles, UnusableFilesRaiseWithThePath) {
  TTextBox box = Box("kept");
  EXPECT_NE(LoadError(Dir).find("\"" + Dir + "\""), std::string::npos);
  EXPECT_NE(LoadError(Dir + "/missing.hex").find("missing.hex"), std::string::npos);
  EXPECT_THROW(box.SaveToFile(Dir), Exception);
  EXPECT_THROW(box.SaveToFile(Dir + "/no/such/dir.hex"), Exception);
  EXPECT_THROW(box.LoadFromFile(Dir), Exception);
  EXPECT_EQ(box.Text(), "kept");
}

}  // namespace
