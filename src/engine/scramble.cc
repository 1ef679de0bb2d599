#include "engine/scramble.h"

#include <string>
#include <vector>

namespace trep {

void prepareKey(JobSettings& job) {
  std::string entered = job.cipherKey.str();
  if (entered.empty()) entered = kDefaultKey;
  std::string key = entered;
  while (key.size() < kKeyLength) key += entered;
  job.cipherKey = key;
}

void scrambleBytes(const char* key, uint64_t offset, uint8_t* bytes, std::size_t length) {
  std::size_t k = static_cast<std::size_t>(offset % kKeyLength);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] ^= static_cast<uint8_t>(key[k]);
    if (++k == kKeyLength) k = 0;
  }
}

void scrambleSegment(JobSettings& job, File& segment, uint64_t payloadSize) {
  uint64_t size = 0;
  segment.size(&size);
  const uint64_t start = job.headerSize;
  const uint64_t present = size > start ? size - start : 0;
  const uint64_t limit = payloadSize == 0 ? 0 : payloadSize - 1;
  const uint64_t total = present < limit ? present : limit;

  std::vector<uint8_t> own;
  uint8_t* buffer = job.workBuffer;
  uint64_t blockSize = job.workBufferSize;
  if (buffer == nullptr || blockSize == 0) {
    own.resize(1 << 20);
    buffer = own.data();
    blockSize = own.size();
  }
  const char* key = job.cipherKey.c_str();
  for (uint64_t done = 0; done < total;) {
    uint32_t n = static_cast<uint32_t>(total - done < blockSize ? total - done : blockSize);
    uint32_t got = 0, put = 0;
    if (!segment.seek(start + done) || !segment.read(buffer, n, &got) || got == 0) break;
    scrambleBytes(key, done, buffer, got);
    if (!segment.seek(start + done) || !segment.write(buffer, got, &put)) break;
    done += got;
  }
  segment.seek(0);
}

}  // namespace trep
