// The device a user assigned to each of the window's port names, kept in the settings file
// under keys of their own (Ports.COM1 ...), apart from the window's field values.
#pragma once

#include <string>

namespace zemb {

// The settings key for COMn.
std::string PortAssignmentKey(unsigned long n);

// The device stored for COMn; empty when none is.
std::string StoredPortAssignment(unsigned long n);

// Stores device for COMn (empty removes the assignment's value) and writes the settings
// file at once, so that other programs see it; false when the file could not be written.
bool StorePortAssignment(unsigned long n, const std::string& device);

}  // namespace zemb
