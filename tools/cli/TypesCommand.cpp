// types: the ROM type list, needing no device.
#include <ostream>

#include "Commands.h"
#include "DeviceSession.h"
#include "ImageFiles.h"

namespace zemb::cli {

int RunTypesCommand(const Options& options, Environment& env) {
  if (!options.operands.empty()) return ReportUsageError(*env.err, "types takes no operands");
  PrintChipTypes(*env.out);
  *env.out << std::flush;
  return *env.out ? kExitOk : kExitUsage;
}

}  // namespace zemb::cli
