#pragma once
#include "CPort/platform/SerialPlatform.h"

namespace ComPlatform::Posix {

// What drives a device while nobody waits for its line events. A thread that has waited for
// a device's line event and then hands work to the main thread (the framework's synchronised
// call) will most likely wait for the same events again once that work has returned. Until
// then it goes on driving the device, and sleeps until the next wait would end at once, the
// device is closed, gone or without a mask, another event of that wait (the stop request) is
// set, or a second has passed; so the end of the handed-over work, which comes first, need
// not wake it.

// Remembers the events of the calling thread's latest wait (by handle: a closed one is
// simply not found later).
void NoteWait(const HANDLE* handles, DWORD count);

// The framework's idle hook: drives on as above, after the thread's latest wait.
void IdleAfterWait();

}  // namespace ComPlatform::Posix
