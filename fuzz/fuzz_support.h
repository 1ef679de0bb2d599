// Shared pieces of the fuzz targets: one scratch folder per process and a
// check that aborts (so libFuzzer records the input) when an invariant fails.
#ifndef TREP_FUZZ_FUZZ_SUPPORT_H_
#define TREP_FUZZ_FUZZ_SUPPORT_H_

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

namespace trep {
namespace fuzz {

// A folder of this process's own below the temporary folder, emptied on request.
inline const std::string& scratch() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("trep-fuzz-" + std::to_string(::getpid())))
                        .string();
    std::filesystem::create_directories(p);
    return p;
  }();
  return path;
}

inline void emptyScratch() {
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(scratch(), ec)) {
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(e.path(), ec);
  }
}

}  // namespace fuzz
}  // namespace trep

#endif  // TREP_FUZZ_FUZZ_SUPPORT_H_
