// The line speeds the platform's serial backend can set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifndef _WIN32
#include <termios.h>
#endif

namespace zemb {

// The speeds, ascending; empty where the backend hands any rate to the driver (Windows).
std::vector<int32_t> SupportedSpeeds();
bool IsSupportedSpeed(int32_t baud);
// "50, 75, ..., 4000000", or empty where any rate is handed on.
std::string SupportedSpeedsText();

#ifndef _WIN32
// The termios constant for a speed, or B0 (which would hang the line up) when unsupported.
speed_t TermiosSpeed(int32_t baud);
#endif

}  // namespace zemb
