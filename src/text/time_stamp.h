#pragma once
// The formatting half of MakeTimeStamp, apart from the clock so that the
// padding and cutting rules can be checked at fixed times.

#include <cstdint>

#include "text/text.h"

namespace morvane {

// A local wall-clock time, read as if it were UTC.
struct LocalTimeParts {
  int year = 1970;  // e.g. 2024
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // 0 to 999
};

// Seconds from the local time 1970-01-01 08:00:00 to `parts`, followed by the
// milliseconds padded to three digits; with secondsOnly cut or padded with
// "0" to 10 characters, otherwise padded with "0" to at least 13.
Text FormatTimeStamp(const LocalTimeParts& parts, bool secondsOnly);

}  // namespace morvane
