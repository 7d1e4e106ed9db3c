#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace Station {

// The station talks to each socket's worker process in lines over a pair of pipes.
//
// Station to worker: first "image <length> <name>" and the image file's <length> bytes, then
// one command a line: "identify" (open the port and ask for the chip in the socket) or
// "program" (erase, write and verify the chip just identified, then let the port go). The end
// of the input ends the worker.
//
// Worker to station: "hello" once the image is taken, then events, each a line:
//   chip <size code> <ID word> <name> a chip answered (size code "-": one this program does not know)
//   empty <ID word>                   the socket holds no chip
//   step <erase|write|verify>         a step begins
//   progress <percent>                of the step under way
//   pass <text>                       the chip holds the image; the text tells how much was verified
//   fail <text>                       the chip does not hold it; the text says where
//   error <status> <text>             the job could not be done; the status is the command line's
// Texts are escaped so that each event stays one line.

enum TEventKind { ekHello, ekChip, ekEmpty, ekStep, ekProgress, ekPass, ekFail, ekError };

struct TWorkerEvent {
  TEventKind Kind = ekHello;
  std::string SizeCode;  // ekChip: the chip table's; empty for a chip this program does not know
  std::string IdWord;    // ekChip, ekEmpty
  // Empty fields are "-" on the line.
  std::string Text;    // ekChip: the chip's name; ekStep: the step; ekPass, ekFail, ekError
  int Number = 0;      // ekProgress: percent; ekError: the exit status it stands for
};

std::string FormatEvent(const TWorkerEvent& event);
// The event a line holds; none for a line that is not one.
std::optional<TWorkerEvent> ParseEvent(std::string_view line);

// "\" and line breaks as "\\", "\n" and "\r", and back.
std::string Escape(std::string_view text);
std::string Unescape(std::string_view text);

}  // namespace Station
