// "Encrypt": light scrambling of segment payloads with the user's string.
#ifndef TREP_ENGINE_SCRAMBLE_H_
#define TREP_ENGINE_SCRAMBLE_H_

#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

// Prepares cipherKey once at the start of a job with "Encrypt" on.
void prepareKey(JobSettings& job);

// Scrambles (or unscrambles) the payload of an open segment file in place,
// from job.headerSize on, `payloadSize` being the payload of a full segment.
// Leaves the file position at 0. Scrambling is not built yet: the payload is
// left as it is.
void scrambleSegment(const JobSettings& job, File& segment, uint32_t payloadSize);

}  // namespace trep

#endif  // TREP_ENGINE_SCRAMBLE_H_
