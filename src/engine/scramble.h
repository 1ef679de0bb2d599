// "Encrypt": light scrambling of segment payloads with the user's string,
// against casual inspection; not cryptography. The same operation scrambles
// and unscrambles.
#ifndef TREP_ENGINE_SCRAMBLE_H_
#define TREP_ENGINE_SCRAMBLE_H_

#include <cstddef>
#include <cstdint>

#include "engine/job.h"

namespace trep {

// Used when the user's string is empty; only its first 32 characters count.
inline constexpr char kDefaultKey[] =
    "Kv3Lw9Pz2Rt8Ny6Hb4Jc7Md5Fs1Gx0Qe3Uo8Ia6Wl2Tm9Zr4Yp7Bn5Dh1Cv0Sk8X";
constexpr std::size_t kKeyLength = 32;

// Makes cipherKey the key's bytes (encoded as a header text, see
// segment_format.h), at least 32 of them, by repeating the string as entered
// (the default key when it is empty). Only key[0..31] are used.
void prepareKey(JobSettings& job);

// In every segment, payload bytes k = 0 .. min(P - 1, present) - 1 are
// XORed with key[k mod 32], P being the payload of a full segment. P - 1, not
// P: stored series rely on the last payload byte of every full segment
// staying clear. The split and the join apply it as the payload passes
// through the work buffer (see PayloadScramble in copy_loop.h).
//
// XORs `length` bytes with the key, the first of them being payload byte
// `offset` of its segment (the key index restarts at key[0] in every segment).
void scrambleBytes(const char* key, uint64_t offset, uint8_t* bytes, std::size_t length);

}  // namespace trep

#endif  // TREP_ENGINE_SCRAMBLE_H_
