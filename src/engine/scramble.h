// "Encrypt": light scrambling of segment payloads with the user's string,
// against casual inspection; not cryptography. The same operation scrambles
// and unscrambles.
#ifndef TREP_ENGINE_SCRAMBLE_H_
#define TREP_ENGINE_SCRAMBLE_H_

#include <cstddef>
#include <cstdint>

#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

// Used when the user's string is empty; only its first 32 characters count.
inline constexpr char kDefaultKey[] =
    "Kv3Lw9Pz2Rt8Ny6Hb4Jc7Md5Fs1Gx0Qe3Uo8Ia6Wl2Tm9Zr4Yp7Bn5Dh1Cv0Sk8X";
constexpr std::size_t kKeyLength = 32;

// Makes cipherKey at least 32 characters long by repeating the string as
// entered (the default key when it is empty). Only key[0..31] are used.
void prepareKey(JobSettings& job);

// XORs `length` bytes with the key, the first of them being payload byte
// `offset` of its segment (the key index restarts at key[0] in every segment).
void scrambleBytes(const char* key, uint64_t offset, uint8_t* bytes, std::size_t length);

// Scrambles (or unscrambles) the payload of an open segment file in place:
// from job.headerSize on, min(P - 1, payload present) bytes, P being the
// payload of a full segment. P - 1, not P: stored series rely on the last
// payload byte of every full segment staying clear. Leaves the file position
// at 0. Uses the work buffer when the job holds one.
void scrambleSegment(JobSettings& job, File& segment, uint64_t payloadSize);

}  // namespace trep

#endif  // TREP_ENGINE_SCRAMBLE_H_
