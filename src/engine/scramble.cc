#include "engine/scramble.h"

#include <string>

#include "engine/segment_format.h"

namespace trep {

void prepareKey(JobSettings& job) {
  // The key's bytes are those of a header text: Windows-1252 where it has a
  // place for every character, as older versions scrambled on a Western
  // Windows, so their series unscramble with the same key typed again.
  std::string entered = encodeHeaderText(job.cipherKey.view());
  if (entered.empty()) entered = kDefaultKey;
  std::string key = entered;
  while (key.size() < kKeyLength) key += entered;
  job.cipherKey = key;
}

void scrambleBytes(const char* key, uint64_t offset, uint8_t* bytes, std::size_t length) {
  // The key lined up with bytes[0], so every 32-byte block XORs with the same
  // 32 bytes: a loop the compiler turns into vector operations.
  uint8_t lined[kKeyLength];
  const std::size_t k = static_cast<std::size_t>(offset % kKeyLength);
  for (std::size_t i = 0; i < kKeyLength; ++i)
    lined[i] = static_cast<uint8_t>(key[(k + i) % kKeyLength]);
  std::size_t i = 0;
  for (; length - i >= kKeyLength; i += kKeyLength) {
    uint8_t* block = bytes + i;
    for (std::size_t j = 0; j < kKeyLength; ++j) block[j] ^= lined[j];
  }
  for (std::size_t j = 0; i < length; ++i, ++j) bytes[i] ^= lined[j];
}

}  // namespace trep
