#include "CliCore.h"
#include "ProcessSetup.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

int main(int argc, char** argv) {
  if (!zemb::PrepareProcess()) return 125;
#ifdef _WIN32
  // Image lines carry their own CR LF, and text mode would make them CR CR LF on the way out
  // and end the input at the first Ctrl-Z. A stream that refuses binary mode is one that is
  // not there; reading or writing it then fails and is reported as such.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  return zemb::cli::Main(argc, argv);
}
