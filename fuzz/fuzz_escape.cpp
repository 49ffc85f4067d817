// Arbitrary bytes through the value escaping, both ways.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "uSetting.h"

namespace {

bool IsForbiddenInLine(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\'' || c == ',' || c == '=';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // Any stored text, however malformed, unescapes to something that survives a round trip.
  const std::string plain = zemb::UnescapeText(input);
  const std::string escaped = zemb::EscapeText(plain);
  if (zemb::UnescapeText(escaped) != plain) std::abort();

  const std::string direct = zemb::EscapeText(input);
  if (zemb::UnescapeText(direct) != input) std::abort();
  for (unsigned char c : direct) {
    if (IsForbiddenInLine(c)) std::abort();
  }
  return 0;
}
