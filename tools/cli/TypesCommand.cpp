// types: the ROM type list with each chip's capacity, data width and programming voltage,
// needing no device.
#include <cstdio>
#include <ostream>

#include "ChipTypes.h"
#include "Commands.h"
#include "DeviceSession.h"

namespace zemb::cli {

int RunTypesCommand(const Options& options, Environment& env) {
  if (!options.operands.empty()) return ReportUsageError(*env.err, "types takes no operands");
  std::ostream& out = *env.out;
  out << "code  part      size     width  vpp    also\n";
  for (const ChipType& type : ChipTypeTable()) {
    char line[200];
    std::snprintf(line, sizeof line, "%-4s  %-8s  %-7s  %-5s  %-5s  %s", type.code, type.part,
                  CapacityText(type.capacity).c_str(), WidthText(type).c_str(),
                  *type.vpp != '\0' ? type.vpp : "-", type.compatible);
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  }
  out << std::flush;
  return out ? kExitOk : kExitUsage;
}

}  // namespace zemb::cli
