// The file checksum ("CRC") recorded by a split and verified by a join.
#ifndef TREP_ENGINE_CHECKSUM_H_
#define TREP_ENGINE_CHECKSUM_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace trep {

// The checksum of the file at `path`; 0 when it cannot be computed.
// Not computed yet: every file gives 0 until the checksum lands.
uint32_t computeFileCrc(Platform& platform, const std::string& path);

}  // namespace trep

#endif  // TREP_ENGINE_CHECKSUM_H_
