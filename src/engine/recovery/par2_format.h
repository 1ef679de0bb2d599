// The recovery files' format, PAR 2.0 (the one par2cmdline, MultiPar and
// QuickPar read and write). A file is a run of packets, all little-endian:
//
//   packet header, 64 bytes
//      0  magic "PAR2\0PKT"                                        8
//      8  length of the whole packet, header included; a multiple of 4   8
//     16  MD5 of the packet's bytes from offset 32 to its end         16
//     32  recovery set ID: the MD5 of the main packet's body          16
//     48  type                                                        16
//   main body ("PAR 2.0\0Main\0\0\0\0")
//      0  slice size in bytes, a multiple of 4                         8
//      8  number of files in the recovery set                          4
//     12  their file IDs, ascending as little-endian 128-bit numbers  16 each
//         then the IDs of files outside the recovery set              16 each
//   file description body ("PAR 2.0\0FileDesc")
//      0  file ID: MD5 of (MD5 of the first 16 KiB, length, name)     16
//     16  MD5 of the whole file                                       16
//     32  MD5 of the file's first 16 KiB (the whole file if shorter)  16
//     48  length in bytes                                              8
//     56  name, without folder, padded with zeros to a multiple of 4
//   input file slice checksums body ("PAR 2.0\0IFSC\0\0\0\0")
//      0  file ID                                                     16
//     16  per slice of the file: MD5 (16) and CRC-32 (4) of the slice,
//         a last short slice padded with zeros to the slice size
//   recovery slice body ("PAR 2.0\0RecvSlic")
//      0  exponent e                                                   4
//      4  recovery data: Σ over input slices k of c_k^e · slice_k      slice size
//   creator body ("PAR 2.0\0Creator\0"): the program's name, padded to 4
//
// The input slices are numbered over the files in the main packet's order,
// slice by slice within a file; c_k is 2^n_k (see gf16.h).
#ifndef TREP_ENGINE_RECOVERY_PAR2_FORMAT_H_
#define TREP_ENGINE_RECOVERY_PAR2_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/digest.h"

namespace trep {
namespace recovery {

constexpr std::size_t kPacketHeaderSize = 64;
constexpr std::size_t kPacketHashOffset = 16;
constexpr std::size_t kPacketSetIdOffset = 32;
constexpr std::size_t kPacketTypeOffset = 48;
constexpr std::size_t kFileDescFixedSize = 56;  // body before the name
constexpr std::size_t kSliceChecksumSize = 20;
constexpr std::size_t kRecoveryHeadSize = kPacketHeaderSize + 4;  // header and exponent
constexpr uint64_t kFirstBytesHashed = 16384;  // the "first 16 KiB" of a file

inline constexpr uint8_t kPacketMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};

using PacketType = std::array<uint8_t, 16>;
constexpr PacketType kMainType = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                  'M', 'a', 'i', 'n', 0,   0,   0,   0};
constexpr PacketType kFileDescType = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                      'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr PacketType kSliceChecksumType = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                           'I', 'F', 'S', 'C', 0,   0,   0,   0};
constexpr PacketType kRecoverySliceType = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                           'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr PacketType kCreatorType = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                     'C', 'r', 'e', 'a', 't', 'o', 'r', 0};

// What this program writes into its creator packets.
inline constexpr char kCreatorText[] = "Created by Trep 1.91";

using Bytes = std::vector<uint8_t>;

struct SliceChecksum {
  Md5Digest md5{};
  uint32_t crc = 0;
  bool operator==(const SliceChecksum& o) const { return md5 == o.md5 && crc == o.crc; }
};

struct FileDescription {
  Md5Digest id{};
  Md5Digest hash{};       // of the whole file
  Md5Digest firstHash{};  // of its first 16 KiB
  uint64_t length = 0;
  std::string name;
};

// The file ID the format derives from a file's first-16-KiB hash, length
// and name.
Md5Digest fileIdOf(const Md5Digest& firstHash, uint64_t length, const std::string& name);

// The main packet's order: IDs compared as little-endian 128-bit numbers
// (byte 15 the most significant).
bool fileIdLess(const Md5Digest& a, const Md5Digest& b);

// Number of slices of a file of `length` bytes (0 for an empty file).
inline uint64_t slicesOf(uint64_t length, uint64_t sliceSize) {
  return (length + sliceSize - 1) / sliceSize;
}

// Bodies.
Bytes encodeMainBody(uint64_t sliceSize, const std::vector<Md5Digest>& orderedIds);
Bytes encodeFileDescBody(const FileDescription& d);
Bytes encodeSliceChecksumBody(const Md5Digest& id, const std::vector<SliceChecksum>& slices);
Bytes encodeCreatorBody(const std::string& text);

// A whole packet: header (with its MD5) and body; the body's length must be
// a multiple of 4.
Bytes encodePacket(const Md5Digest& setId, const PacketType& type, const Bytes& body);

// The 68 bytes before a recovery slice's data: the header, whose MD5 covers
// the data too (`hash`, computed by the caller), and the exponent.
std::array<uint8_t, kRecoveryHeadSize> encodeRecoveryHead(const Md5Digest& setId,
                                                          uint32_t exponent,
                                                          uint64_t sliceSize,
                                                          const Md5Digest& hash);

// Decoding. Every length is checked against what is there before it is used.
struct PacketHeader {
  uint64_t length = 0;
  Md5Digest hash{};
  Md5Digest setId{};
  PacketType type{};
};
// False unless the 64 bytes start with the magic and the length is a
// multiple of 4 of at least 64.
bool decodePacketHeader(const uint8_t* bytes, PacketHeader* header);

struct MainPacket {
  uint64_t sliceSize = 0;
  std::vector<Md5Digest> recoveryIds;  // in the set's order
};
bool decodeMainBody(const uint8_t* body, std::size_t size, MainPacket* main);
bool decodeFileDescBody(const uint8_t* body, std::size_t size, FileDescription* d);
bool decodeSliceChecksumBody(const uint8_t* body, std::size_t size, Md5Digest* id,
                             std::vector<SliceChecksum>* slices);

// The file IDs a set may hold at most: one slice at least per file, so the
// input slice limit bounds them.
constexpr uint32_t kMaxSetFiles = 32768;

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_PAR2_FORMAT_H_
