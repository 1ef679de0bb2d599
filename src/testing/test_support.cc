#include "testing/test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace trep {
namespace testing {

std::string hexOf(const Md5Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t v : digest) {
    s += kDigits[v >> 4];
    s += kDigits[v & 15];
  }
  return s;
}

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("trep-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Files a test made read-only must be removable.
  for (auto& e : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const {
  return path_ + kPathSeparator + name;
}

std::string nativePath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = kPathSeparator;
  return path;
}

// Paths are UTF-8, as everywhere in the program: u8path opens them wide on
// Windows, so tests of names beyond ASCII run there too.
std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::u8path(path), ec);
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> patternBytes(std::size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    v[i] = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, std::size_t from, std::size_t n) {
  return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(from),
                              v.begin() + static_cast<std::ptrdiff_t>(from + n));
}

namespace {

class FaultyFile : public FileWrapper {
 public:
  FaultyFile(std::unique_ptr<File> real, std::string path,
             std::function<bool(const std::string&, uint32_t)>* beforeWrite)
      : FileWrapper(std::move(real)), path_(std::move(path)), beforeWrite_(beforeWrite) {}
  Status write(const void* b, uint32_t n, uint32_t* d) override {
    bool approved = approvedBytes_ >= n && n != 0;
    approvedBytes_ = approved ? approvedBytes_ - n : 0;
    if (!approved && *beforeWrite_ && !(*beforeWrite_)(path_, n)) {
      *d = 0;
      return Status::failure(path_, kInjectedFailure);
    }
    return FileWrapper::write(b, n, d);
  }
  // A move writes like a write: the same fault refuses it before anything
  // is written. The real file moves from the real file behind `source`.
  // When the real file cannot move them, the caller writes the same n bytes
  // next, in one write or several: they were already let through here and
  // are not asked for again.
  DirectMove moveFrom(File& source, uint32_t n, uint32_t* d, Status* why) override {
    approvedBytes_ = 0;
    if (*beforeWrite_ && !(*beforeWrite_)(path_, n)) {
      *d = 0;
      if (why != nullptr) *why = Status::failure(path_, kInjectedFailure);
      return DirectMove::kFailed;
    }
    DirectMove r = FileWrapper::moveFrom(source, n, d, why);
    if (r == DirectMove::kUnsupported) approvedBytes_ = n;
    return r;
  }

 private:
  uint32_t approvedBytes_ = 0;  // of writes already let through by moveFrom
  std::string path_;
  std::function<bool(const std::string&, uint32_t)>* beforeWrite_;
};

}  // namespace

FaultyPlatform::FaultyPlatform() : PlatformWrapper(makeSystemPlatform()) {}

std::unique_ptr<File> FaultyPlatform::openFile(const std::string& path, FileAccess access,
                                               FileShare share, FileCreate create,
                                               uint32_t attributes, Status* why) {
  if (beforeOpen) {
    Status refused = beforeOpen(path);
    if (!refused.ok()) {
      if (why != nullptr) *why = refused;
      return nullptr;
    }
  }
  std::unique_ptr<File> f = target().openFile(path, access, share, create, attributes, why);
  if (!f) return nullptr;
  std::string madeForPath = path;
  {
    std::lock_guard<std::mutex> lock(madeForMutex_);
    auto made = madeFor.find(path);
    if (made != madeFor.end()) madeForPath = made->second;
  }
  return std::make_unique<FaultyFile>(std::move(f), madeForPath, &beforeWrite);
}

std::unique_ptr<File> FaultyPlatform::createTemporaryFor(const std::string& path,
                                                         std::string* temporary, Status* why) {
  if (beforeCreate) {
    Status refused = beforeCreate(path);
    if (!refused.ok()) {
      if (why != nullptr) *why = refused;
      return nullptr;
    }
  }
  std::unique_ptr<File> f = target().createTemporaryFor(path, temporary, why);
  if (!f) return nullptr;
  {
    std::lock_guard<std::mutex> lock(madeForMutex_);
    madeFor[*temporary] = path;
  }
  return std::make_unique<FaultyFile>(std::move(f), path, &beforeWrite);
}

Status FaultyPlatform::replaceFile(const std::string& from, const std::string& to) {
  if (beforeReplace) {
    Status refused = beforeReplace(to);
    if (!refused.ok()) return refused;
  }
  return target().replaceFile(from, to);
}

void* FaultyPlatform::allocateZeroed(uint64_t bytes) {
  {
    std::lock_guard<std::mutex> lock(allocationMutex_);
    allocationRequests.push_back(bytes);
  }
  if (failAllAllocations) return nullptr;
  if (failAllocationsAbove != 0 && bytes > failAllocationsAbove) return nullptr;
  return target().allocateZeroed(bytes);
}

}  // namespace testing
}  // namespace trep
