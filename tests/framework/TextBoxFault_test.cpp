#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>

#include "framework/Exception.h"
#include "TempFolderTest.h"
#include "framework/TextBox.h"

// Files a user may pick by mistake or that a tool left half-written: each loads as the rules
// say or fails with a message naming the file, and a failure leaves the box as it was.

namespace {

class TextBoxBadFiles : public TTempFolderTest {
protected:

  // Runs fn in a child that is not root, so that permissions count; true when fn raised
  // Exception there.
  static bool FailsWithoutRoot(const std::function<void()>& fn) {
    const pid_t child = fork();
    if (child == 0) {
      if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
      try {
        fn();
      } catch (const Exception&) {
        _exit(0);
      }
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

TEST_F(TextBoxBadFiles, BinaryFileLoadsUpToItsFirstNulWithBreaksMadeWhole) {
  std::string bytes(256, '\0');
  std::iota(bytes.begin(), bytes.end(), 1);  // 1..255, then 0
  bytes += "after the NUL";
  TTextBox box;
  box.LoadFromFile(Write("firmware.bin", bytes));
  std::string expected;
  // Byte 10 (LF) and byte 13 (CR) each stand alone, so each becomes CR LF.
  for (int c = 1; c < 256; ++c) expected += (c == '\n' || c == '\r') ? "\r\n" : std::string(1, char(c));
  EXPECT_EQ(box.Text(), expected);
  EXPECT_EQ(box.Text().find('\0'), std::string::npos);
  EXPECT_EQ(box.Count(), 3);
}

TEST_F(TextBoxBadFiles, NulFirstGivesAnEmptyImage) {
  TTextBox box;
  box.SetText("old");
  box.LoadFromFile(Write("nul.hex", std::string("\0:00000001FF\r\n", 14)));
  EXPECT_TRUE(box.Empty());
  EXPECT_EQ(box.Count(), 0);
}

TEST_F(TextBoxBadFiles, FiftyMegabyteFileLoadsWholeAndSavesBackUnchanged) {
  // HEX-like lines with LF breaks, as a tool on another system writes them.
  const std::string line = ":10000000" + std::string(32, 'A') + "C0";
  std::string bytes;
  bytes.reserve(50u << 20);
  while (bytes.size() < (50u << 20)) bytes += line + "\n";
  const int lines = int(bytes.size() / (line.size() + 1));
  TTextBox box;
  int notices = 0;
  box.OnChange = [&] { ++notices; };
  box.LoadFromFile(Write("big.hex", bytes));
  ASSERT_EQ(box.Text().size(), bytes.size() + lines);
  EXPECT_EQ(box.Count(), lines);
  EXPECT_EQ(box.Line(lines - 1), line);
  EXPECT_EQ(box.Line(lines), "");
  EXPECT_EQ(notices, 1);
  const std::string out = Dir + "/big-out.hex";
  box.SaveToFile(out);
  EXPECT_EQ(std::filesystem::file_size(out), box.Text().size());
}

TEST_F(TextBoxBadFiles, OverlongLinesAreCutWhenReadButKeptWhole) {
  const std::string longLine(10000, 'F');
  TTextBox box;
  box.LoadFromFile(Write("long.hex", longLine + "\n:00000001FF"));
  EXPECT_EQ(box.Count(), 2);
  EXPECT_EQ(box.Line(0), std::string(TTextBox::MaxLineLength, 'F'));
  EXPECT_EQ(box.Line(1), ":00000001FF");
  const std::string out = Dir + "/long-out.hex";
  box.SaveToFile(out);
  EXPECT_EQ(Read(out), longLine + "\r\n:00000001FF");
}

TEST_F(TextBoxBadFiles, CrOnlyAndMixedBreaksGiveTheSameLines) {
  TTextBox crOnly, mixed;
  crOnly.LoadFromFile(Write("cr.hex", ":00\r:01\r\r:02\r"));
  mixed.LoadFromFile(Write("mixed.hex", ":00\r\n:01\n\r\n:02\r"));
  EXPECT_EQ(crOnly.Text(), ":00\r\n:01\r\n\r\n:02\r\n");
  EXPECT_EQ(mixed.Text(), crOnly.Text());
  EXPECT_EQ(mixed.Count(), 4);
  EXPECT_EQ(mixed.Line(2), "");
}

TEST_F(TextBoxBadFiles, UnusablePathsFailNamingTheFileAndKeepTheText) {
  TTextBox box;
  box.SetText("kept");
  const std::string plain = Write("plain.hex", "x");
  for (const std::string& path : {Dir, plain + "/inside.hex", Dir + "/missing.hex"}) {
    try {
      box.LoadFromFile(path);
      ADD_FAILURE() << "loaded " << path;
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
    }
    EXPECT_THROW(box.SaveToFile(path == plain + "/inside.hex" ? path : Dir), Exception);
    EXPECT_EQ(box.Text(), "kept");
  }
}

TEST_F(TextBoxBadFiles, PermissionsAreHonouredForAnOrdinaryUser) {
  const std::string secret = Write("secret.hex", ":00000001FF\r\n");
  ASSERT_EQ(chmod(secret.c_str(), 0000), 0);
  const std::string locked = Dir + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  ASSERT_EQ(chmod(Dir.c_str(), 0755), 0);

  EXPECT_TRUE(FailsWithoutRoot([&] {
    TTextBox box;
    box.LoadFromFile(secret);
  }));
  EXPECT_TRUE(FailsWithoutRoot([&] {
    TTextBox box;
    box.SetText(":00000001FF\r\n");
    box.SaveToFile(locked + "/out.hex");
  }));
  EXPECT_FALSE(std::filesystem::exists(locked + "/out.hex"));
}

}  // namespace
