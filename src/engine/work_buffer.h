// The one buffer through which a job moves its payload.
#ifndef TREP_ENGINE_WORK_BUFFER_H_
#define TREP_ENGINE_WORK_BUFFER_H_

#include <cstdint>

#include "engine/engine.h"

namespace trep {

constexpr uint32_t kMinimumWorkBuffer = 10000000;  // bytes
constexpr uint32_t kWorkBufferSlack = 64;          // bytes beyond workBufferSize

// The size to ask for first: the segment size plus 1/1024 of it (32-bit
// arithmetic), at least 10,000,000 bytes, limited by the memory option
// (kPhysical: total physical memory, kHalf: half of it; counted as 32-bit,
// larger amounts as 4,294,967,295).
uint32_t wantedWorkBufferSize(uint32_t segmentSize, MemoryOption memoryOption,
                              uint64_t totalPhysicalMemory);

// Keeps a buffer already held, with its size. Otherwise allocates the wanted
// size, halving while that fails and the half is at least 100 bytes. When
// nothing can be had it raises "Memory Allocation Error" (in quiet mode too)
// and returns false: the process must then end with kExitMemoryError.
bool allocateWorkBuffer(JobContext& ctx);

void releaseWorkBuffer(JobContext& ctx);

}  // namespace trep

#endif  // TREP_ENGINE_WORK_BUFFER_H_
