#pragma once
#include <chrono>
#include <functional>

namespace Cli {

using TClock = std::chrono::steady_clock;

// The main thread of a program without a window: it runs the work the port's event thread
// hands it (its received-bytes deliveries) while it waits for a job to finish.

// Wakes the main thread for queued work, and turns Ctrl-C and the system's requests to end
// (SIGINT, SIGTERM; the console's events on Windows) into an interruption the waits and the
// sending notice; a second one ends the program as usual.
void InstallMainLoop();

// The signal that interrupted the program (as Os::Interruption() gives it), or 0.
int InterruptSignal();

// Runs queued work until done() holds (true) or the deadline passes (false). Throws
// ECommand(ecInterrupted) once the program is interrupted. idle(), when given, runs whenever
// a while has passed without work (a twentieth of a second at most).
bool RunUntil(const std::function<bool()>& done, TClock::time_point deadline,
              const std::function<void()>& idle = {});

}  // namespace Cli
