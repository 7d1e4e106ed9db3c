#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A multi-line text box as the program uses it: one text in which CR LF breaks lines.
// Used for the image, the receive buffer and the scratch box of the settings file.
class TTextBox {
public:
  static constexpr int MaxLineLength = 4096;

  // Runs once per appended line, and once per assignment or load that changes the text;
  // never on Clear.
  std::function<void()> OnChange;

  const std::string& Text() const { return FText; }
  bool Empty() const { return FText.empty(); }

  // Replaces the text; notices a change only when the new text differs.
  void SetText(std::string_view text);
  // Appends raw text (the receive buffer); no line rules, no notice. Raw text comes in small
  // pieces and its lines are wanted rarely, so they are indexed when next asked for.
  void AppendText(std::string_view text) {
    FText.append(text);
    FLinesValid = false;
  }
  // Empties the box without a notice.
  void Clear();

  // Lines, without a final empty line after a closing CR LF.
  int Count() const;
  // Line i without its break, cut at MaxLineLength; empty past the end.
  std::string Line(int index) const;
  // Appends a line: to an empty box or one ending in CR LF it adds the line and CR LF.
  void Add(std::string_view line);
  // Replaces line i; on an empty box line 0 becomes the whole text, with no break.
  void SetLine(int index, std::string_view line);

  // Takes raw bytes as a file load does: CR LF, lone CR and lone LF become CR LF, and the text
  // stops at the first NUL.
  void LoadFromText(std::string_view raw);
  // Reads the whole file, turns CR LF, lone CR and lone LF into CR LF, stops at the first NUL.
  // Raises Exception ("Cannot open file ...") when the file cannot be read.
  void LoadFromFile(const std::string& path);
  // Writes the text byte for byte. Raises Exception ("Cannot create file ...") on failure.
  void SaveToFile(const std::string& path) const;

private:
  void Append(std::string_view text);
  // Brings the line index up to date for text appended after the first oldSize bytes.
  void IndexFrom(std::size_t oldSize) const;

  std::string FText;
  // Start offsets of the lines: built on first use, then kept up to date by Add, so that
  // filling a box line by line and reading every line both stay linear.
  mutable std::vector<std::size_t> FLineStarts;
  mutable bool FLinesValid = true;
};
