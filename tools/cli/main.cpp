#include "CliCore.h"
#include "ProcessSetup.h"

int main(int argc, char** argv) {
  if (!zemb::PrepareProcess()) return 125;
  return zemb::cli::Main(argc, argv);
}
