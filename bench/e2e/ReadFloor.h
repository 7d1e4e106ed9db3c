#pragma once
#include <string>
#include <vector>

// One read of the programmer's answer by read_floor, the least a reader can do: a single
// thread and one blocking read() per hand-over of the line.
struct TFloorRead {
  double CpuSeconds = 0;   // from sending the command to the "Ready", the whole process
  double WallSeconds = 0;
  long Reads = 0;          // read() calls that returned characters
  std::string Answer;      // every character up to the one that completed "Ready"
};

// Starts a simulated programmer with simOptions, runs the reader (read_floor, or read_floor_qt,
// from the folder of this program) against it with the command, and returns its figures.
// Throws std::runtime_error when either fails.
TFloorRead RunFloorRead(const std::vector<std::string>& simOptions, const std::string& command,
                        const std::string& reader = "read_floor");
