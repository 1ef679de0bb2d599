// Pieces of the engine shared by the split and the join (internal).
#ifndef TREP_ENGINE_COPY_LOOP_H_
#define TREP_ENGINE_COPY_LOOP_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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
// missing (it could not be opened), which fails every chunk. A job stopped
// from outside (jobResult 99) ends within a chunk.
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

// Raises a notice of kind 10 that follows `failure`: its reason goes with
// it. `firstRetries`: the upper button tries the failed step again.
uint32_t raiseFailureNotice(JobContext& ctx, std::string message, const char* first,
                            const char* second, const Status& failure,
                            bool firstRetries = false);

// The write error question after `failure` (shown in quiet mode too):
// true for "OK"; false, with jobResult 99, for "Abort procedure" and
// whenever askRetryOrAbort's rules end the job.
bool askAfterWriteError(JobContext& ctx, const Status& failure);

// A file a job makes: written under a hidden temporary name in its folder
// and given its own name only once complete, so an aborted job leaves no
// part-made file, and a file of that name stays as it was until the
// complete one replaces it. A link at the name is replaced itself; nothing
// is written through one. Failures name the file's own name.
class OutputFile {
 public:
  OutputFile(JobContext& ctx, std::string path) : ctx_(ctx), path_(std::move(path)) {}
  ~OutputFile() { discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Makes the temporary file, asking the write error question while it
  // cannot be made. False when the job was aborted.
  bool create();
  // The open temporary file; null before create() and after the end.
  File* file() { return file_.get(); }
  const std::string& path() const { return path_; }
  // Closes the temporary file and opens it again for reading too, so that
  // what was written can be read back before it is complete (the split of
  // a stream reads its first segment for the checksum). False, with *why
  // set, when it cannot be opened again.
  bool reopenForReading(Status* why);
  // Sets `times` (when given) and closes the file, sets `attributes`, and
  // gives it its name, asking the write error question while that fails.
  // False, with the temporary file removed, when the job was aborted.
  bool complete(const FileTimes* times, uint32_t attributes);
  // Closes and removes the temporary file, if any.
  void discard();

 private:
  JobContext& ctx_;
  std::string path_;
  std::string temporary_;
  std::unique_ptr<File> file_;
};

// Files this program left in `folder` while making them (a job killed
// part-way): told of, once, never used or removed; they may be what the
// user has left of a file. In quiet mode kept in leftoverNote for the
// program to print.
void tellOfLeftTemporaries(JobContext& ctx, const std::string& folder);

// How a job path ended: at its end (runJob then releases the buffer and sets
// jobState 200), or by an early return that skips that step.
enum class PathEnd { kEnded, kEarlyReturn };

PathEnd runSplit(JobContext& ctx);
// The split of ctx.streamInput, whose length is known only at its end.
PathEnd runStreamSplit(JobContext& ctx);
PathEnd runJoin(JobContext& ctx);

}  // namespace trep

#endif  // TREP_ENGINE_COPY_LOOP_H_
