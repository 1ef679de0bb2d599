#include "engine/work_buffer.h"

namespace trep {

uint32_t wantedWorkBufferSize(uint32_t segmentSize, MemoryOption memoryOption,
                              uint64_t totalPhysicalMemory) {
  uint32_t size = segmentSize + segmentSize / 1024;  // wraps as a 32-bit sum
  if (size < kMinimumWorkBuffer) size = kMinimumWorkBuffer;
  uint32_t physical = totalPhysicalMemory > 0xFFFFFFFFull
                          ? 0xFFFFFFFFu
                          : static_cast<uint32_t>(totalPhysicalMemory);
  if (memoryOption == MemoryOption::kPhysical && physical < size) size = physical;
  if (memoryOption == MemoryOption::kHalf && physical / 2 < size) size = physical / 2;
  return size;
}

bool allocateWorkBuffer(JobContext& ctx) {
  JobSettings& job = ctx.job;
  if (job.workBuffer != nullptr) return true;
  uint32_t size = wantedWorkBufferSize(job.segmentSize, ctx.options.memoryOption,
                                       ctx.platform.totalPhysicalMemory());
  for (;;) {
    void* block = size == 0 ? nullptr
                            : ctx.platform.allocateZeroed(
                                  static_cast<uint64_t>(size) + kWorkBufferSlack);
    if (block != nullptr) {
      job.workBuffer = static_cast<uint8_t*>(block);
      job.workBufferSize = size;
      return true;
    }
    if (size / 2 < 100) break;
    size /= 2;
  }
  if (raiseNotice(ctx.platform, kMemoryError, kOk, kOpenReadMe) == kLowerButton)
    ctx.platform.openReadMe();
  return false;
}

void releaseWorkBuffer(JobContext& ctx) {
  if (ctx.job.workBuffer != nullptr) ctx.platform.release(ctx.job.workBuffer);
  ctx.job.workBuffer = nullptr;
  ctx.job.workBufferSize = 0;
}

}  // namespace trep
