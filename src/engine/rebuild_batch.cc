#include "engine/rebuild_batch.h"

namespace trep {

void writeRebuildBatch(const JobSettings&, Platform&, uint32_t) {}

}  // namespace trep
