#include "engine/segment_format.h"

#include <algorithm>
#include <cstring>

#include "engine/naming.h"
#include "platform/text_encoding.h"

namespace trep {

void putLe16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

void putLe32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void putLe64(uint8_t* at, uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

namespace {

void putText(uint8_t* at, std::string_view text) {
  std::string bytes = encodeHeaderText(text);
  std::memcpy(at, bytes.data(), bytes.size());  // the rest of the field stays zero
}

// Reads the part of a little-endian field of `width` bytes at `offset` that
// lies within `available`, over `value`.
template <typename T>
void getPartial(const uint8_t* bytes, std::size_t available, std::size_t offset,
                std::size_t width, T* value) {
  for (std::size_t i = 0; i < width && offset + i < available; ++i) {
    *value &= ~(static_cast<T>(0xFF) << (8 * i));
    *value |= static_cast<T>(bytes[offset + i]) << (8 * i);
  }
}

void getText(const uint8_t* bytes, std::size_t available, std::size_t offset,
             PathText* text) {
  if (offset >= available) return;
  std::size_t limit = std::min(kHeaderTextSize, available - offset);
  const uint8_t* start = bytes + offset;
  const void* zero = std::memchr(start, 0, limit);
  std::size_t n = zero ? static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - start)
                       : limit;
  text->assign(decodeHeaderText(std::string_view(reinterpret_cast<const char*>(start), n)));
}

// Bytes a reader takes as UTF-8.
bool readAsUtf8(std::string_view bytes) { return !isAscii(bytes) && isValidUtf8(bytes); }

}  // namespace

std::string encodeHeaderText(std::string_view text) {
  const std::size_t room = kHeaderTextSize - 1;
  const std::string valid = utf8TextOf(text);
  std::string bytes;
  if (toWindows1252(valid, &bytes)) {
    // One byte a character: any cut falls between two. Decided on what is
    // stored, so a cut can never leave bytes that read as something else.
    bytes.resize(std::min(bytes.size(), room));
    if (!readAsUtf8(bytes)) return bytes;
  }
  return std::string(fitBytes(valid, room));
}

std::string decodeHeaderText(std::string_view bytes) {
  return readAsUtf8(bytes) ? std::string(bytes) : fromWindows1252(bytes);
}

FullHeader encodeFullHeader(const JobSettings& job, uint32_t segmentCount,
                            uint32_t useDescription) {
  FullHeader h{};
  std::memcpy(h.data(), kMagic, kMagicSize);
  putLe32(&h[kOffsetCount], segmentCount);
  putLe16(&h[kOffsetDescriptionFlag], useDescription & 0xFFFF);
  putText(&h[kOffsetDescription], job.description.view());
  putText(&h[kOffsetOriginalName], job.originalName.view());
  putLe32(&h[kOffsetSizeLow], static_cast<uint32_t>(job.fileSize));
  putLe32(&h[kOffsetSizeHigh], static_cast<uint32_t>(job.fileSize >> 32));
  putLe32(&h[kOffsetChecksum], job.fileCrc);
  putLe64(&h[kOffsetCreationTime], job.creationTime);
  putLe64(&h[kOffsetLastAccessTime], job.lastAccessTime);
  putLe64(&h[kOffsetLastWriteTime], job.lastWriteTime);
  putLe16(&h[kOffsetAttributes], job.fileAttributes & 0xFFFF);
  return h;
}

void decodeFullHeader(const uint8_t* bytes, std::size_t available,
                      JobSettings* job, uint32_t* useDescription) {
  job->segmentCount = 0;
  *useDescription = 0;
  job->fileSize = 0;
  job->fileAttributes = 0;
  getPartial(bytes, available, kOffsetCount, 4, &job->segmentCount);
  getPartial(bytes, available, kOffsetDescriptionFlag, 2, useDescription);
  getText(bytes, available, kOffsetDescription, &job->description);
  getText(bytes, available, kOffsetOriginalName, &job->originalName);
  getPartial(bytes, available, kOffsetSizeLow, 8, &job->fileSize);
  getPartial(bytes, available, kOffsetChecksum, 4, &job->fileCrc);
  getPartial(bytes, available, kOffsetCreationTime, 8, &job->creationTime);
  getPartial(bytes, available, kOffsetLastAccessTime, 8, &job->lastAccessTime);
  getPartial(bytes, available, kOffsetLastWriteTime, 8, &job->lastWriteTime);
  getPartial(bytes, available, kOffsetAttributes, 2, &job->fileAttributes);
}

bool takeFirstHeader(const uint8_t* bytes, std::size_t available, uint64_t firstSegmentBytes,
                     std::string_view seriesBase, JobSettings* job, uint32_t* useDescription) {
  job->segmentSize = static_cast<uint32_t>(firstSegmentBytes);  // low 32 bits; see firstSegmentBytes
  job->firstSegmentBytes = firstSegmentBytes;
  decodeFullHeader(bytes, available, job, useDescription);
  if (job->segmentCount == 0 || job->segmentCount > kMaxSegments) return false;
  job->originalName = safeOriginalName(job->originalName.view(), seriesBase);
  return true;
}

}  // namespace trep
