// Pieces of the engine shared by the split and the join (internal).
#ifndef TREP_ENGINE_COPY_LOOP_H_
#define TREP_ENGINE_COPY_LOOP_H_

#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine.h"

namespace trep {

// "Encrypt" applied to a segment's payload as it passes through the work
// buffer: payload bytes k = 0 .. limit - 1 (k counted from the segment's
// first payload byte) are XORed with key[k mod 32]; the rest pass as they are.
struct PayloadScramble {
  const char* key = nullptr;
  uint64_t limit = 0;  // P - 1 for a segment payload of P bytes when full
};

// Sees the bytes a copy wrote, as they were written (scrambled where they
// were): `at` is the index of data[0] among the bytes of this copy. After a
// chunk that failed and was moved again ("OK"), bytes already seen may come
// once more, the same bytes at the same index.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  virtual void copied(uint64_t at, const uint8_t* data, uint32_t n) = 0;
};

// Moves `total` bytes from `source` to `destination` in chunks of
// workBufferSize, setting jobState from `base` upwards: after done of total
// bytes, progress = progressShare * (done * 100 / total) / 100 + base, at
// most 99. A chunk that cannot be moved in full raises the write error
// question: "OK" moves that same chunk again from its start, "Abort
// procedure" sets jobResult to 99 and ends the loop. Either file may be
// missing (it could not be opened), which fails every chunk.
//
// A chunk with nothing to scramble moves inside the system where the files
// allow it (File::moveFrom) and never touches the work buffer; otherwise it
// is read whole into the buffer, scrambled there when `scramble` asks for it,
// and written whole. Both ways give the same bytes, chunk sizes, progress
// values and questions. `source` is read from its position, which is payload
// byte 0 of the segment `scramble` refers to. With an `observer` every chunk
// goes through the work buffer, so that it sees each byte written.
void copyChunks(JobContext& ctx, File* source, File* destination, uint64_t total,
                uint32_t base, const PayloadScramble* scramble = nullptr,
                CopyObserver* observer = nullptr);

// Writes `n` bytes at the current position of `file`, asking the write error
// question when they cannot be written; "OK" writes them again from the same
// place. False when the user aborted (jobResult is then 99).
bool writeOrAsk(JobContext& ctx, File* file, const void* data, uint32_t n);

// Creates (or replaces) a file for writing, no sharing. When it cannot be
// made, raises the write error question: "OK" tries again, "Abort
// procedure" sets jobResult to 99 and gives nullptr.
std::unique_ptr<File> createOrAsk(JobContext& ctx, const std::string& path, FileAccess access,
                                  uint32_t attributes = kAttributeNormal);

// How a job path ended: at its end (runJob then releases the buffer and sets
// jobState 200), or by an early return that skips that step.
enum class PathEnd { kEnded, kEarlyReturn };

PathEnd runSplit(JobContext& ctx);
PathEnd runJoin(JobContext& ctx);

}  // namespace trep

#endif  // TREP_ENGINE_COPY_LOOP_H_
