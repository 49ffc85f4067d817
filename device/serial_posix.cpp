// Placeholder until the termios backend lands.
#include "SerialChannel.h"
namespace zemb {
std::unique_ptr<SerialChannel> CreatePlatformSerialChannel() { return nullptr; }
}  // namespace zemb
