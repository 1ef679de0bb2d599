#include "engine/recovery/par2_format.h"

#include <cstring>

namespace trep {
namespace recovery {
namespace {

void put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint32_t get32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
void append(Bytes& out, const void* data, std::size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}
void append64(Bytes& out, uint64_t v) {
  uint8_t b[8];
  put64(b, v);
  append(out, b, 8);
}
void padTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
Md5Digest digestAt(const uint8_t* p) {
  Md5Digest d;
  std::memcpy(d.data(), p, d.size());
  return d;
}

}  // namespace

Md5Digest fileIdOf(const Md5Digest& firstHash, uint64_t length, const std::string& name) {
  Bytes b;
  append(b, firstHash.data(), firstHash.size());
  append64(b, length);
  append(b, name.data(), name.size());
  return md5Of(b.data(), b.size());
}

bool fileIdLess(const Md5Digest& a, const Md5Digest& b) {
  for (int i = 15; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

Bytes encodeMainBody(uint64_t sliceSize, const std::vector<Md5Digest>& orderedIds) {
  Bytes b;
  append64(b, sliceSize);
  uint8_t count[4];
  put32(count, static_cast<uint32_t>(orderedIds.size()));
  append(b, count, 4);
  for (const Md5Digest& id : orderedIds) append(b, id.data(), id.size());
  return b;
}

Bytes encodeFileDescBody(const FileDescription& d) {
  Bytes b;
  append(b, d.id.data(), 16);
  append(b, d.hash.data(), 16);
  append(b, d.firstHash.data(), 16);
  append64(b, d.length);
  append(b, d.name.data(), d.name.size());
  padTo4(b);
  return b;
}

Bytes encodeSliceChecksumBody(const Md5Digest& id, const std::vector<SliceChecksum>& slices) {
  Bytes b;
  b.reserve(16 + slices.size() * kSliceChecksumSize);
  append(b, id.data(), 16);
  for (const SliceChecksum& s : slices) {
    append(b, s.md5.data(), 16);
    uint8_t crc[4];
    put32(crc, s.crc);
    append(b, crc, 4);
  }
  return b;
}

Bytes encodeCreatorBody(const std::string& text) {
  Bytes b(text.begin(), text.end());
  padTo4(b);
  return b;
}

Bytes encodePacket(const Md5Digest& setId, const PacketType& type, const Bytes& body) {
  Bytes p(kPacketHeaderSize + body.size());
  std::memcpy(p.data(), kPacketMagic, 8);
  put64(p.data() + 8, kPacketHeaderSize + body.size());
  std::memcpy(p.data() + kPacketSetIdOffset, setId.data(), 16);
  std::memcpy(p.data() + kPacketTypeOffset, type.data(), 16);
  if (!body.empty()) std::memcpy(p.data() + kPacketHeaderSize, body.data(), body.size());
  Md5Digest hash = md5Of(p.data() + kPacketSetIdOffset, p.size() - kPacketSetIdOffset);
  std::memcpy(p.data() + kPacketHashOffset, hash.data(), 16);
  return p;
}

std::array<uint8_t, kRecoveryHeadSize> encodeRecoveryHead(const Md5Digest& setId,
                                                          uint32_t exponent,
                                                          uint64_t sliceSize,
                                                          const Md5Digest& hash) {
  std::array<uint8_t, kRecoveryHeadSize> h{};
  std::memcpy(h.data(), kPacketMagic, 8);
  put64(h.data() + 8, kRecoveryHeadSize + sliceSize);
  std::memcpy(h.data() + kPacketHashOffset, hash.data(), 16);
  std::memcpy(h.data() + kPacketSetIdOffset, setId.data(), 16);
  std::memcpy(h.data() + kPacketTypeOffset, kRecoverySliceType.data(), 16);
  put32(h.data() + kPacketHeaderSize, exponent);
  return h;
}

bool decodePacketHeader(const uint8_t* bytes, PacketHeader* header) {
  if (std::memcmp(bytes, kPacketMagic, 8) != 0) return false;
  header->length = get64(bytes + 8);
  if (header->length < kPacketHeaderSize || header->length % 4 != 0) return false;
  header->hash = digestAt(bytes + kPacketHashOffset);
  header->setId = digestAt(bytes + kPacketSetIdOffset);
  std::memcpy(header->type.data(), bytes + kPacketTypeOffset, 16);
  return true;
}

bool decodeMainBody(const uint8_t* body, std::size_t size, MainPacket* main) {
  if (size < 12 || (size - 12) % 16 != 0) return false;
  main->sliceSize = get64(body);
  uint32_t count = get32(body + 8);
  const std::size_t ids = (size - 12) / 16;
  if (main->sliceSize == 0 || main->sliceSize % 4 != 0 || count == 0 || count > ids ||
      count > kMaxSetFiles)
    return false;
  main->recoveryIds.clear();
  for (uint32_t i = 0; i < count; ++i) main->recoveryIds.push_back(digestAt(body + 12 + 16 * i));
  return true;
}

bool decodeFileDescBody(const uint8_t* body, std::size_t size, FileDescription* d) {
  if (size < kFileDescFixedSize) return false;
  d->id = digestAt(body);
  d->hash = digestAt(body + 16);
  d->firstHash = digestAt(body + 32);
  d->length = get64(body + 48);
  const char* name = reinterpret_cast<const char*>(body + kFileDescFixedSize);
  std::size_t n = size - kFileDescFixedSize;
  while (n > 0 && name[n - 1] == '\0') --n;  // the padding
  d->name.assign(name, n);
  return true;
}

bool decodeSliceChecksumBody(const uint8_t* body, std::size_t size, Md5Digest* id,
                             std::vector<SliceChecksum>* slices) {
  if (size < 16 || (size - 16) % kSliceChecksumSize != 0) return false;
  *id = digestAt(body);
  const std::size_t count = (size - 16) / kSliceChecksumSize;
  slices->resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = body + 16 + i * kSliceChecksumSize;
    (*slices)[i].md5 = digestAt(p);
    (*slices)[i].crc = get32(p + 16);
  }
  return true;
}

}  // namespace recovery
}  // namespace trep
