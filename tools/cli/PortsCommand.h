// "zembromw-cli ports": the serial ports of this machine and what COM1..COM4 open now.
#pragma once

#include <iosfwd>
#include <vector>

#include "PortList.h"

namespace zemb::cli {

// Prints the discovered ports and the four port names' devices with the reason for each,
// then, for each port name that cannot be opened now, why and what to do about it.
// Always succeeds: a machine without serial ports is an answer, not an error.
int RunPortsCommand(const std::vector<std::string>& operands, std::ostream& out, std::ostream& err,
                    const PortDiscoveryRoots& roots = {});

// Reads port assignments from the window's settings file (the window is this program's
// sibling), as the window itself does.
void UseStoredPortAssignments();

}  // namespace zemb::cli
