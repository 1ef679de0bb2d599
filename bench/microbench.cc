// Microbenchmarks of the engine's two byte loops, each beside memcpy of the
// same number of bytes on the same machine:
// - the checksum's window pass over one 10,000,000-byte chunk, which reads
//   only its first 2,500,003 bytes (bytes/s counts those bytes);
// - the "Encrypt" XOR over buffers of 64 KiB, 1 MiB and 100 MiB.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/checksum.h"
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

}  // namespace

BENCHMARK_MAIN();
