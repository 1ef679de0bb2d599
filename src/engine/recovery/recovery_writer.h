// Writes the recovery files of a set of files in one folder: the index
// BASE.par2 (main, file description, slice checksum and creator packets)
// and `count` volumes BASE.volE+1.par2, each holding one recovery slice
// (exponents 0 .. count - 1) and a copy of the index's packets, so that any
// `count` input slices lost or damaged can be rebuilt and every volume can
// stand in for a lost index. Names and contents match par2cmdline's
// `create -s<slice size> -c<count> -u` for the same files.
//
// The recovery data is computed column by column: a window of every slice
// at the same offset, read through the reader (by default the files in the
// folder), eight sources at a time into every recovery slice, on two
// threads, and written out as each column is done; each byte is read and
// hashed once, and the memory taken stays within the limit. A caller that
// writes the files as they are read (the split, from its copy loop) gives
// a reader before start(), and the computation runs beside it; the bytes it
// feeds are held to those read, so that recovery data never describes
// bytes other than those written.
#ifndef TREP_ENGINE_RECOVERY_RECOVERY_WRITER_H_
#define TREP_ENGINE_RECOVERY_RECOVERY_WRITER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/recovery/par2_format.h"
#include "platform/platform.h"

namespace trep {
namespace recovery {

// Bytes of memory the computation takes at most: its columns narrow to fit.
constexpr uint64_t kDefaultRecoveryMemory = 128ull << 20;

struct InputFile {
  std::string name;  // without folder, as recorded in the set
  uint64_t length = 0;
  Md5Digest firstHash{};  // MD5 of the first min(16 KiB, length) bytes
};

// The slice size for files of these lengths: the largest rounded up to a
// multiple of 4, so each file is one slice; larger only if the set would
// otherwise exceed the input slice limit (it cannot for 32,768 files or
// fewer). 0 when there is no byte at all.
uint64_t chooseSliceSize(const std::vector<uint64_t>& lengths);

// The names par2cmdline gives the files of a set: index first, then the
// volumes, exponent zero-padded to the digits of `count`.
std::vector<std::string> recoveryFileNames(const std::string& base, uint32_t count);

class RecoveryWriter {
 public:
  // `files` in the order the caller will feed them; `sliceSize` 0 chooses
  // it with chooseSliceSize.
  RecoveryWriter(Platform& platform, std::string folder, std::string base,
                 std::vector<InputFile> files, uint32_t recoveryCount, uint64_t sliceSize = 0,
                 uint64_t memoryLimit = kDefaultRecoveryMemory);
  ~RecoveryWriter();  // removes any file left under a temporary name
  RecoveryWriter(const RecoveryWriter&) = delete;
  RecoveryWriter& operator=(const RecoveryWriter&) = delete;

  // Where the computation reads a file's bytes: by default the file of
  // that name in the folder. A caller whose files are not there (yet, or
  // any more: the split onto removable media the user has since taken
  // away) gives the bytes itself: `read` fills `out` with n bytes of file
  // `index` (the constructor's order) from `offset` and returns how many it
  // filled. It is called from two threads at once. Given before start(),
  // the computation begins there, beside the caller; given later, or not
  // at all, it runs in finish().
  using Reader =
      std::function<std::size_t(uint32_t index, uint64_t offset, uint8_t* out, std::size_t n)>;
  void setReader(Reader read);

  // Checks the plan and takes the memory (and, with a reader, makes the
  // files under temporary names and begins the computation). False with
  // `problem` set when the set cannot be made (too many slices, no memory
  // at any window size, a file that cannot be made; `why`, when given,
  // holds the system's reason).
  bool start(std::string* problem, Status* why = nullptr);
  // The next n bytes of file `index` (the order of the constructor) as the
  // caller wrote them, each file from its first byte on; files may come one
  // after another in any order. Optional: when any is fed, every file must
  // be fed whole, and its bytes must be those read.
  void feed(uint32_t index, const uint8_t* data, std::size_t n);
  // Completes the computation (waiting for one begun by start()), checks
  // the bytes fed against those read and each file's first 16 KiB against
  // the hash it was described with, writes the packets and gives every
  // recovery file its name. False with `problem` naming the file when one
  // cannot be written or read (`why`, when given, holds the system's
  // reason); nothing is then left behind. `keepGoing`, when given, is asked
  // on the calling thread between pieces of work: false stops (the user
  // aborted), and finish() returns false with `problem` empty, leaving
  // nothing behind either.
  bool finish(std::string* problem, const std::function<bool()>& keepGoing = nullptr,
              Status* why = nullptr);

  // Bytes of slices the computation has been through, of all it will go
  // through (slices × slice size); safe to read from any thread.
  struct Progress {
    uint64_t done = 0;
    uint64_t total = 0;
  };
  Progress progress() const;

  uint64_t sliceSize() const;
  uint32_t passes() const;  // columns the recovery data is computed in
  const std::vector<std::string>& fileNames() const;  // what finish() writes

  struct State;

 private:
  std::unique_ptr<State> s_;
};

// The MD5 of the first 16 KiB of a file's bytes (the whole if shorter).
Md5Digest firstBytesHash(const uint8_t* data, std::size_t n);

// Writes the recovery files for files already in `folder`, reading each.
bool createRecoveryFiles(Platform& platform, const std::string& folder, const std::string& base,
                         const std::vector<std::string>& names, uint32_t recoveryCount,
                         uint64_t sliceSize, uint64_t memoryLimit, std::string* problem,
                         Status* why = nullptr);

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_RECOVERY_WRITER_H_
