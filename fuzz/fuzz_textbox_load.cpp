// Loading any file's bytes into a text box: the text holds no NUL and no break other than
// CR LF, it is the bytes up to the first NUL with each break made CR LF, and the lines read
// back agree with the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/TextBox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTextBox box;
  box.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string& text = box.Text();

  // The same rule, byte by byte.
  std::string expected;
  for (std::size_t i = 0; i < size && data[i] != 0; ++i) {
    if (data[i] == '\r') {
      expected += "\r\n";
      if (i + 1 < size && data[i + 1] == '\n') ++i;
    } else if (data[i] == '\n') {
      expected += "\r\n";
    } else {
      expected += char(data[i]);
    }
  }
  if (text != expected) std::abort();

  // Joining the lines again gives the text back, unless a line was cut.
  std::string joined;
  bool cut = false;
  for (int i = 0; i < box.Count(); ++i) {
    const std::string line = box.Line(i);
    if (line.size() > TTextBox::MaxLineLength) std::abort();
    cut = cut || line.size() == TTextBox::MaxLineLength;
    joined += line;
    if (i + 1 < box.Count() || text.ends_with("\r\n")) joined += "\r\n";
  }
  if (!cut && joined != text) std::abort();
  if (!box.Line(box.Count()).empty()) std::abort();
  return 0;
}
