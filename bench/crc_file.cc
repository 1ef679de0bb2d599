// trep_crc FILE: prints the checksum a split with "Use CRC" records for
// FILE, computed as the engine does (computeFileCrc), and nothing else; the
// benchmark times this program beside `cat FILE > /dev/null` and `cksum`.
#include <cstdio>

#include "engine/checksum.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trep_crc FILE\n");
    return 2;
  }
  auto platform = trep::makeSystemPlatform();
  std::printf("%u\n", trep::computeFileCrc(*platform, argv[1]));
  return 0;
}
