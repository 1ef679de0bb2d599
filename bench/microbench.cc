// Microbenchmarks of the engine's two byte loops, each beside memcpy of the
// same number of bytes on the same machine:
// - the checksum's window pass over one 10,000,000-byte chunk, which reads
//   only its first 2,500,003 bytes (bytes/s counts those bytes);
// - the "Encrypt" XOR over buffers of 64 KiB, 1 MiB and 100 MiB;
// - the recovery files' GF(2^16) multiply-accumulate, each kernel the
//   processor has, over 64 KiB and 1 MiB, and the system's MD5 beside it;
// - the MD5 of many streams at once, each kernel the processor has, over 8,
//   16 and 32 streams fed 1 MiB pieces, beside the system's MD5 of one
//   stream (BM_Md5).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/checksum.h"
#include "engine/recovery/gf16.h"
#include "platform/digest.h"
#include "platform/md5_lanes.h"
#include "engine/scramble.h"

namespace {

std::vector<uint8_t> randomBytes(std::size_t n) {
  std::vector<uint8_t> v(n);
  std::mt19937 random(1);
  for (auto& b : v) b = static_cast<uint8_t>(random());
  return v;
}

void BM_CrcWindowPass(benchmark::State& state) {
  const uint32_t n = trep::kCrcChunk;
  const uint32_t used = trep::crcAreaSize(n);
  std::vector<uint8_t> area = randomBytes(used);
  trep::CrcSums sums;
  for (auto _ : state) {
    trep::crcWindowPass(area.data(), n, &sums);
    benchmark::DoNotOptimize(sums);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * used);
}
BENCHMARK(BM_CrcWindowPass);

void BM_MemcpyCrcArea(benchmark::State& state) {
  const uint32_t used = trep::crcAreaSize(trep::kCrcChunk);
  std::vector<uint8_t> from = randomBytes(used), to(used);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), used);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * used);
}
BENCHMARK(BM_MemcpyCrcArea);

void BM_ScrambleBytes(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  std::vector<uint8_t> bytes = randomBytes(n);
  const char key[] = "Kv3Lw9Pz2Rt8Ny6Hb4Jc7Md5Fs1Gx0Qe3U";
  uint64_t offset = 0;
  for (auto _ : state) {
    trep::scrambleBytes(key, offset++, bytes.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_ScrambleBytes)->Arg(64 << 10)->Arg(1 << 20)->Arg(100 << 20);

void BM_Memcpy(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  std::vector<uint8_t> from = randomBytes(n), to(n);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_Memcpy)->Arg(64 << 10)->Arg(1 << 20)->Arg(100 << 20);

// range(0): bytes; range(1): the kernel (0 portable, 1 SSSE3, 2 AVX2).
void BM_GfMultiplyAdd(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  const auto kernel = static_cast<trep::recovery::GfKernel>(state.range(1));
  if (!trep::recovery::gfKernelAvailable(kernel)) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  std::vector<uint8_t> from = randomBytes(n), to(n);
  uint16_t c = 0x1234;
  for (auto _ : state) {
    trep::recovery::gfMultiplyAddWith(kernel, c++, from.data(), to.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
  state.SetLabel(trep::recovery::gfKernelName(kernel));
}
BENCHMARK(BM_GfMultiplyAdd)->ArgsProduct({{64 << 10, 1 << 20}, {0, 1, 2}});

// Several sources into one destination in one call, with the fastest
// kernel and coefficients prepared beforehand. range(0): bytes per source;
// range(1): sources. Bytes processed count every source's.
void BM_GfMultiplyAddMany(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  const std::size_t count = static_cast<std::size_t>(state.range(1));
  std::vector<std::vector<uint8_t>> sources;
  std::vector<const uint8_t*> pointers;
  std::vector<trep::recovery::GfFactor> factors;
  for (std::size_t s = 0; s < count; ++s) {
    sources.push_back(randomBytes(n));
    pointers.push_back(sources.back().data());
    factors.emplace_back(static_cast<uint16_t>(0x1234 + s));
  }
  std::vector<uint8_t> to(n);
  for (auto _ : state) {
    trep::recovery::gfMultiplyAddMany(factors.data(), pointers.data(), count, to.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n * count));
  state.SetLabel(trep::recovery::gfKernelName(trep::recovery::gfBestKernel()));
}
BENCHMARK(BM_GfMultiplyAddMany)->ArgsProduct({{64 << 10, 16 << 20}, {1, 8}});

void BM_Md5(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  std::vector<uint8_t> bytes = randomBytes(n);
  trep::Md5 md5;
  for (auto _ : state) {
    md5.update(bytes.data(), n);
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(md5.finish());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_Md5)->Arg(1 << 20);

// range(0): the kernel (0 portable, 1 SSE2, 2 AVX2, 3 AVX-512); range(1):
// streams, each given a piece of 1 MiB per update. Bytes processed count
// every stream's, to set beside BM_Md5's one stream.
void BM_Md5Streams(benchmark::State& state) {
  const auto kernel = static_cast<trep::Md5Kernel>(state.range(0));
  const std::size_t streams = static_cast<std::size_t>(state.range(1));
  if (!trep::md5KernelAvailable(kernel)) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  const std::size_t n = 1 << 20;
  const std::vector<uint8_t> bytes = randomBytes(n * streams);
  std::vector<const uint8_t*> pieces;
  const std::vector<std::size_t> lengths(streams, n);
  for (std::size_t s = 0; s < streams; ++s) pieces.push_back(bytes.data() + s * n);
  trep::Md5Streams md5(streams, kernel);
  for (auto _ : state) {
    md5.update(pieces.data(), lengths.data());
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(md5.finish(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n * streams));
  state.SetLabel(trep::md5KernelName(kernel));
}
BENCHMARK(BM_Md5Streams)->ArgsProduct({{0, 1, 2, 3}, {8, 16, 32}});

}  // namespace

BENCHMARK_MAIN();
