// "UnTrep.bat": the batch file that rebuilds a headerless series with
// "Copy /b", so the receiver needs no copy of the program.
#ifndef TREP_ENGINE_REBUILD_BATCH_H_
#define TREP_ENGINE_REBUILD_BATCH_H_

#include <cstdint>

#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

// Writes outputFolder/UnTrep.bat for `segmentCount` segments. Not written
// yet: the split's headerless segments come without it until it lands.
void writeRebuildBatch(const JobSettings& job, Platform& platform, uint32_t segmentCount);

}  // namespace trep

#endif  // TREP_ENGINE_REBUILD_BATCH_H_
