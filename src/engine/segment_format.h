// The segment file format. Segment n of a series is named by a four-character
// base name, n as four digits and ".trp". Segment 0001 of a series with
// headers opens with the full header, every later segment with the magic
// alone; a series written for the rebuild batch file has no header at all.
//
// Full header, 652 bytes, little-endian:
//
//   offset size field
//        0    8 magic "TREP1600", no terminator
//        8    4 segment count, 1..9999
//       12    2 description flag (low 16 bits of useDescription)
//       14  300 description, NUL-terminated, rest zero (299 characters at most)
//      314  300 original name (no folder), NUL-terminated, rest zero
//      614    4 size, low 32 bits
//      618    4 size, high 32 bits
//      622    4 checksum (0 when none was computed)
//      626    8 creation time    } Windows file-time values,
//      634    8 last-access time }   low 32 bits first
//      642    8 last-write time  }
//      650    2 attributes (low 16 bits)
//      652  ... payload
//
// Short header of segments 0002 onward: the 8 magic bytes; payload at 8.
//
// The bytes of the two texts (the program holds them as UTF-8):
//   - written: Windows-1252 when every character of the text has a place in
//     it and those bytes cannot be read as UTF-8 of other characters; UTF-8
//     otherwise. A text that does not fit its 299 bytes keeps its whole
//     first characters.
//   - read: a field that is valid UTF-8 and holds a byte above 0x7F is
//     UTF-8; any other field is Windows-1252, every byte one character (the
//     five bytes 1252 leaves free, 0x81 0x8D 0x8F 0x90 0x9D, read as the
//     control characters of the same value, as Windows reads them).
// So ASCII is stored as it always was; a series written by an older
// Trep.exe on a Western Windows (whose texts are Windows-1252) reads right;
// and whatever one program writes, the other reads back as it was written.
// Text that is not valid UTF-8 (a name a POSIX system gives in another
// encoding) is first taken as Windows-1252, as a reader would take it, so
// no field is ever read back as bytes that are not a valid name.
#ifndef TREP_ENGINE_SEGMENT_FORMAT_H_
#define TREP_ENGINE_SEGMENT_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/job.h"

namespace trep {

constexpr std::size_t kMagicSize = 8;
inline constexpr char kMagic[] = "TREP1600";  // the 8 bytes, without the terminator
constexpr uint32_t kFullHeaderSize = 652;
constexpr uint32_t kShortHeaderSize = 8;
constexpr std::size_t kHeaderTextSize = 300;  // 299 characters and a zero

constexpr std::size_t kOffsetCount = 8;
constexpr std::size_t kOffsetDescriptionFlag = 12;
constexpr std::size_t kOffsetDescription = 14;
constexpr std::size_t kOffsetOriginalName = 314;
constexpr std::size_t kOffsetSizeLow = 614;
constexpr std::size_t kOffsetSizeHigh = 618;
constexpr std::size_t kOffsetChecksum = 622;
constexpr std::size_t kOffsetCreationTime = 626;
constexpr std::size_t kOffsetLastAccessTime = 634;
constexpr std::size_t kOffsetLastWriteTime = 642;
constexpr std::size_t kOffsetAttributes = 650;

using FullHeader = std::array<uint8_t, kFullHeaderSize>;

// The full header of a series of `segmentCount` segments, from the job's
// description, original name, size, checksum, times and attributes.
FullHeader encodeFullHeader(const JobSettings& job, uint32_t segmentCount,
                            uint32_t useDescription);

// Reads the header fields after the magic from the first `available` bytes
// of `bytes` into the job, in file order: segmentCount, useDescription,
// description, originalName, fileSize, fileCrc, the three times and
// fileAttributes. Count, flag, size and attributes are cleared first; a field
// the bytes do not reach keeps that value. Texts stop at their first zero
// byte, never run past their 300 bytes, and are read by decodeHeaderText.
void decodeFullHeader(const uint8_t* bytes, std::size_t available,
                      JobSettings* job, uint32_t* useDescription);

// Segment 0001's header taken into a join: `bytes` (the first `available`
// bytes of a first segment of `firstSegmentBytes` bytes) decoded into the
// job, and the recorded name made safe to create (safeOriginalName, with
// `seriesBase` in place of a name that is not). False, the job's header
// fields then meaningless, when the count is outside 1..9999: no segment
// number above 9999 is ever read.
bool takeFirstHeader(const uint8_t* bytes, std::size_t available, uint64_t firstSegmentBytes,
                     std::string_view seriesBase, JobSettings* job, uint32_t* useDescription);

// The bytes of a header text (at most 299) for the UTF-8 text, and the UTF-8
// text for the bytes of a field (up to its first zero), by the rule above.
std::string encodeHeaderText(std::string_view text);
std::string decodeHeaderText(std::string_view bytes);

// Little-endian helpers shared by the formats of the program.
void putLe16(uint8_t* at, uint32_t v);
void putLe32(uint8_t* at, uint32_t v);
void putLe64(uint8_t* at, uint64_t v);
uint32_t getLe32(const uint8_t* at);

}  // namespace trep

#endif  // TREP_ENGINE_SEGMENT_FORMAT_H_
