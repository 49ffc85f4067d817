#include "CliCore.h"

int main(int argc, char** argv) {
  return zemb::cli::Main(argc, argv);
}
