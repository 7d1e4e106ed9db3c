#pragma once
#include <cstdio>

// What a command-line program needs of the console it runs in: its standard streams, the
// user's and the system's requests to stop, and the terminal it may draw on.
namespace Os {

// Started with standard input, output or error closed (as cron and some service managers do),
// a program would hand those numbers to the next files it opens, its serial port among them,
// and its own output would go there. Called first in main, this opens the null device on each
// of them that is closed. Without one the program cannot run safely: it ends at once with
// exit status 127.
void KeepStandardStreamsOpen();

// Standard input and output pass bytes as they are (Windows would turn LF into CR LF and stop
// at Ctrl-Z); data goes through them.
void UseBinaryStandardStreams();

// From now on Ctrl-C and the system's requests to end no longer end the program at once: the
// first is noted for Interruption(), and the program ends its work itself; a second ends it as
// usual. On Linux these are SIGINT and SIGTERM; on Windows the console's Ctrl-C, Ctrl-Break,
// close, log-off and shut-down. Writing into a pipe whose reader has gone fails (EPIPE) instead
// of ending the program.
void CatchInterruptions();

// The first interruption as a signal number (exit status 128 + it), 0 when there was none:
// 2 for Ctrl-C and Ctrl-Break (SIGINT), 15 for SIGTERM and for closing the console, logging off
// or shutting down.
int Interruption();

// Ends the program as a broken pipe ends Unix programs (by SIGPIPE), where there is such a
// thing; returns where there is not.
void EndAsBrokenPipe();

// Whether stream is a terminal (a console on Windows), and how many columns it shows; 0 when
// that cannot be told.
bool IsTerminal(std::FILE* stream);
int TerminalColumns(std::FILE* stream);

}  // namespace Os
