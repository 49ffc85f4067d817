// Text that came from a device or a file, made safe to print on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zemb {

// Every byte that could drive a terminal comes out as a visible \xHH escape: the C0
// controls (ESC, BEL, CR, ...), DEL, the C1 controls 0x80 to 0x9F, their two-byte UTF-8
// forms, and every byte that is not part of a well-formed UTF-8 character. Printable
// ASCII and well-formed UTF-8 text pass unchanged, backslashes included.
std::string EscapeForTerminal(std::string_view text);

// As EscapeForTerminal, for a text that may be long: more than maxBytes of input are cut
// at a character boundary and marked with "..." and the full length.
std::string EscapeForTerminal(std::string_view text, size_t maxBytes);

}  // namespace zemb
