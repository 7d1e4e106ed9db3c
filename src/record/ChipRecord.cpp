#include "record/ChipRecord.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace Record {

const char* ResultText(TChipResult result) {
  switch (result) {
    case crPass: return "pass";
    case crFail: return "fail";
    case crAborted: return "aborted";
    case crError: break;
  }
  return "error";
}

std::string UtcNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, int(millis));
  return text;
}

}  // namespace Record
