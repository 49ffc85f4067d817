// Port-name rules shared by the platform backends.
#pragma once

#include <optional>
#include <string>

namespace zemb {

// The n of "COMn" (any case; n from 1 up without a leading zero), or nothing.
std::optional<unsigned long> ComPortNumber(const std::string& name);

// A name that fits the 128-character device name buffer and holds no NUL byte.
bool IsAcceptablePortName(const std::string& name);

}  // namespace zemb
