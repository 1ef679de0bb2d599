// Pieces shared by the recovery writer and the repairer (internal): whole
// reads and writes through the platform's 32-bit counts, and memory blocks
// taken from the platform.
#ifndef TREP_ENGINE_RECOVERY_BLOCK_IO_H_
#define TREP_ENGINE_RECOVERY_BLOCK_IO_H_

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/digest.h"
#include "platform/platform.h"

namespace trep {
namespace recovery {

// Reads up to n bytes at `offset`; returns how many were read (fewer at the
// file's end or on an error).
inline std::size_t readAt(File& file, uint64_t offset, void* buffer, std::size_t n) {
  if (!file.seek(offset)) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < n) {
    uint32_t want = n - total > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(n - total);
    uint32_t got = 0;
    if (!file.read(p + total, want, &got) || got == 0) break;
    total += got;
  }
  return total;
}

inline bool writeAll(File& file, const void* data, std::size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n != 0) {
    uint32_t want = n > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(n);
    uint32_t done = 0;
    if (!file.write(p, want, &done) || done != want) return false;
    p += want;
    n -= want;
  }
  return true;
}

inline bool writeAt(File& file, uint64_t offset, const void* data, std::size_t n) {
  return file.seek(offset) && writeAll(file, data, n);
}

// Feeds n zero bytes to `md5`: a slice shorter than the set's slice size is
// hashed as if padded with zeros to it.
inline void md5Zeros(Md5& md5, uint64_t n) {
  static const uint8_t kZeros[4096] = {};
  while (n != 0) {
    const std::size_t piece = n > sizeof kZeros ? sizeof kZeros : static_cast<std::size_t>(n);
    md5.update(kZeros, piece);
    n -= piece;
  }
}

// Reads n bytes from `offset` of `file` through `buffer` into `md5`, asking
// `keepGoing` (when given) before each piece: the one loop every check of
// bytes against their MD5 goes through. Returns how many bytes were hashed:
// n, or fewer where the file ended or could not be read further, or where
// keepGoing said stop (then *stopped, when given, is set).
inline uint64_t readAndHash(File& file, uint64_t offset, uint64_t n, std::vector<uint8_t>& buffer,
                            Md5& md5, const std::function<bool()>& keepGoing = nullptr,
                            bool* stopped = nullptr) {
  uint64_t done = 0;
  while (done < n) {
    if (keepGoing && !keepGoing()) {
      if (stopped) *stopped = true;
      break;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), n - done));
    const std::size_t got = readAt(file, offset + done, buffer.data(), want);
    md5.update(buffer.data(), got);
    done += got;
    if (got != want) break;
  }
  return done;
}

// Runs `first` on a thread of its own beside `second` on the calling
// thread, and returns when both are done; both on the calling thread, one
// after the other, when no thread is to be had. For work split in two
// parts that touch no memory in common.
template <typename First, typename Second>
void onTwoThreads(First first, Second second) {
  std::thread helper;
  try {
    helper = std::thread(first);
  } catch (const std::system_error&) {
    first();
  }
  second();
  if (helper.joinable()) helper.join();
}

// A zero-filled block of the platform's memory, released with the object.
class Block {
 public:
  Block() = default;
  Block(Platform& platform, uint64_t bytes) : platform_(&platform) {
    data_ = bytes == 0 || bytes > SIZE_MAX ? nullptr
                                           : static_cast<uint8_t*>(platform.allocateZeroed(bytes));
    size_ = data_ != nullptr ? static_cast<std::size_t>(bytes) : 0;
  }
  ~Block() { reset(); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  Block(Block&& o) noexcept { *this = std::move(o); }
  Block& operator=(Block&& o) noexcept {
    if (this != &o) {
      reset();
      platform_ = o.platform_;
      data_ = o.data_;
      size_ = o.size_;
      o.data_ = nullptr;
      o.size_ = 0;
    }
    return *this;
  }
  void reset() {
    if (data_ != nullptr) platform_->release(data_);
    data_ = nullptr;
    size_ = 0;
  }
  uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  Platform* platform_ = nullptr;
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// The smallest window of recovery data worth a pass over every file.
constexpr uint64_t kMinWindow = 4096;

// A window size for `buffers` buffers of up to `sliceSize` bytes within
// `memoryLimit`: a multiple of 64 bytes (the vector kernels' step), at least
// kMinWindow, never more than the slice.
inline uint64_t windowSize(uint64_t sliceSize, uint64_t buffers, uint64_t memoryLimit) {
  if (buffers == 0) buffers = 1;
  uint64_t w = memoryLimit / buffers;
  if (w >= sliceSize) return sliceSize;
  w &= ~uint64_t{63};
  if (w < kMinWindow) w = kMinWindow;
  return w < sliceSize ? w : sliceSize;
}

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_BLOCK_IO_H_
