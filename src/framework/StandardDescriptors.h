#pragma once

// Started with standard input, output or error closed (as cron and some service managers
// do), a program would hand those numbers to the next files it opens: its serial port
// among them, and then its own output would go to the programmer. Called first in main,
// this opens /dev/null on each of descriptors 0, 1 and 2 that is closed. A system without
// /dev/null cannot run the program safely: it ends at once with exit status 127.
void KeepStandardDescriptorsOpen();
