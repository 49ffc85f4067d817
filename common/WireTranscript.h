// Formats a wire transcript (the simulator's log, the command line's -v trace): one entry
// per line of traffic, stamped with the time its first
// byte passed, control bytes escaped so the log stays one text line per entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zemb {

// Printable ASCII as is; backslash, CR, LF and every other byte escaped.
std::string EscapeBytes(std::string_view bytes);

class TranscriptFormatter {
 public:
  // lfAfterCr: the device's lines end in CR LF rather than CR. Without it, an LF that
  // follows a CR anyway is an entry of its own.
  explicit TranscriptFormatter(bool lfAfterCr) : lfAfterCr_(lfAfterCr) {}

  // Bytes from the host ('<') or to the host ('>') at timeUs since start; returns the
  // entries completed, each ending in '\n'.
  std::string Add(char direction, std::string_view bytes, int64_t timeUs);
  // Entries for any partial lines.
  std::string Flush();

 private:
  struct Pending {
    std::string bytes;
    int64_t startUs = 0;
  };
  std::string Emit(char direction, Pending& pending);

  bool lfAfterCr_;
  bool toHostAfterCr_ = false;
  Pending fromHost_;
  Pending toHost_;
};

}  // namespace zemb
