#pragma once
#include <sys/types.h>

#include <string>

namespace Record {

// What tells a running process from every other that had or will have its pid: the boot it
// runs in and the moment it started ("<boot id>:<start>"). Empty when there is no such process.
std::string ProcessKey(pid_t pid);

}  // namespace Record
