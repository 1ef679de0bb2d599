// Writes the recovery files of a set of files in one folder: the index
// BASE.par2 (main, file description, slice checksum and creator packets)
// and `count` volumes BASE.volE+1.par2, each holding one recovery slice
// (exponents 0 .. count - 1) and a copy of the index's packets, so that any
// `count` input slices lost or damaged can be rebuilt and every volume can
// stand in for a lost index. Names and contents match par2cmdline's
// `create -s<slice size> -c<count> -u` for the same files.
//
// The bytes of the files come in through feed() as the caller produces them
// (the split, from its copy loop), so they are read once. When the recovery
// data does not fit the memory limit it is computed in passes over windows
// of the slices: the first window from the fed bytes, the others from the
// files read back from the folder.
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

// Bytes of recovery data held in memory at most; more is computed in passes.
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

  // Where the later passes read a file's bytes (see the comment at the top):
  // by default the file of that name in the folder. A caller whose files
  // are no longer there to read (the split onto removable media the user
  // has since taken away) gives the bytes itself: `read` fills `out` with n
  // bytes of file `index` (the constructor's order) from `offset` and
  // returns how many it filled. Set before finish().
  using Reader =
      std::function<std::size_t(uint32_t index, uint64_t offset, uint8_t* out, std::size_t n)>;
  void setReader(Reader read);

  // Checks the plan and takes the memory. False with `problem` set when the
  // set cannot be made (too many slices, no memory at any window size).
  bool start(std::string* problem);
  // The next n bytes of file `index` (the order of the constructor), each
  // file from its first byte on; files may come one after another in any
  // order.
  void feed(uint32_t index, const uint8_t* data, std::size_t n);
  // After every file was fed whole: checks that each file's first 16 KiB
  // as fed match the hash it was described with, computes what is left, writes every
  // recovery file under a temporary name and then renames them all. False
  // with `problem` naming the file when one cannot be written or read back;
  // nothing is then left behind. `keepGoing`, when given, is asked between
  // pieces of work: false stops (the user aborted), and finish() returns
  // false with `problem` empty, leaving nothing behind either.
  bool finish(std::string* problem, const std::function<bool()>& keepGoing = nullptr);

  uint64_t sliceSize() const;
  uint32_t passes() const;  // windows the recovery data is computed in
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
                         uint64_t sliceSize, uint64_t memoryLimit, std::string* problem);

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_RECOVERY_WRITER_H_
