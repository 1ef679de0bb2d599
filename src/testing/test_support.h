// Helpers for the unit tests: temporary folders, whole-file reads and
// writes, and a platform that delegates to the real one with faults added.
#ifndef TREP_TESTING_TEST_SUPPORT_H_
#define TREP_TESTING_TEST_SUPPORT_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/digest.h"
#include "platform/platform.h"
#include "platform/platform_wrapper.h"

namespace trep {
namespace testing {

// A digest as lower-case hex, as md5sum prints it.
std::string hexOf(const Md5Digest& digest);

// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  // path() + separator + name.
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// A path written with a backslash as the separator, in the platform's own.
std::string nativePath(std::string path);

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool fileExists(const std::string& path);
// The names in a folder, hidden ones too, sorted; empty when there is none.
std::vector<std::string> namesIn(const std::string& folder);
// n bytes of a fixed pseudo-random pattern: byte i depends on i and `seed`.
std::vector<uint8_t> patternBytes(std::size_t n, uint32_t seed = 1);
std::vector<uint8_t> slice(const std::vector<uint8_t>& v, std::size_t from, std::size_t n);

// The reason a fault made by FaultyPlatform carries.
inline constexpr char kInjectedFailure[] = "Injected failure";

// The real platform, with faults on demand and a record of what was asked.
class FaultyPlatform : public PlatformWrapper {
 public:
  FaultyPlatform();

  // Allocations above this many bytes fail (0: none fail for size).
  uint64_t failAllocationsAbove = 0;
  bool failAllAllocations = false;
  std::vector<uint64_t> allocationRequests;
  uint64_t physicalMemory = 0;  // 0: the real amount
  bool failCreateFolder = false;
  std::vector<std::string> temporaryNames;
  std::map<std::string, std::string> madeFor;  // temporary file -> the name it is made for
  // Called before every write to a file opened for writing; returning false
  // makes that write fail without writing anything.
  std::function<bool(const std::string& path, uint32_t n)> beforeWrite;
  std::vector<std::string> messageBoxes;
  int readMeOpened = 0;

  // Called before a file that is to become `path` is made, and before it
  // is given that name; a failure returned is given instead.
  std::function<Status(const std::string& path)> beforeCreate;
  // Called before any file is opened; a failure returned is given instead
  // (from any thread: set it before the work begins).
  std::function<Status(const std::string& path)> beforeOpen;
  std::function<Status(const std::string& path)> beforeReplace;

  std::unique_ptr<File> openFile(const std::string& path, FileAccess access,
                                 FileShare share, FileCreate create,
                                 uint32_t attributes = kAttributeNormal,
                                 Status* why = nullptr) override;
  // The file is faulty as openFile's are, under the name it is made for;
  // so is the temporary file opened again by its own name.
  std::unique_ptr<File> createTemporaryFor(const std::string& path, std::string* temporary,
                                           Status* why = nullptr) override;
  Status replaceFile(const std::string& from, const std::string& to) override;
  std::string temporaryName() override {
    std::string name = target().temporaryName();
    temporaryNames.push_back(name);
    return name;
  }
  Status createFolder(const std::string& path) override {
    if (failCreateFolder) return Status::failure(path, kInjectedFailure);
    return target().createFolder(path);
  }
  void* allocateZeroed(uint64_t bytes) override;
  uint64_t totalPhysicalMemory() override {
    return physicalMemory != 0 ? physicalMemory : target().totalPhysicalMemory();
  }
  std::string programFolder() override { return programFolderValue; }
  bool isRemovableDrive(const std::string&) override { return removable; }
  std::string desktopFolder() override { return desktopFolderValue; }
  std::string appDataFolder() override { return appDataFolderValue; }
  uint32_t enablePrivilege(const std::string&, bool) override { return 0; }
  bool tryInstanceLock(const std::string&) override { return instanceFree; }
  void sleepMs(uint32_t ms) override { sleptMs += ms; target().sleepMs(ms < 50 ? ms : 1); }
  void openReadMe() override { ++readMeOpened; }
  void showMessageBox(const std::string& text, const std::string& caption) override {
    messageBoxes.push_back(caption + ": " + text);
  }

  std::string programFolderValue;
  std::string desktopFolderValue;
  std::string appDataFolderValue;
  bool removable = false;
  bool instanceFree = true;
  uint64_t sleptMs = 0;

 private:
  std::mutex allocationMutex_;  // allocateZeroed may come from several threads
  std::mutex madeForMutex_;     // openFile reads madeFor from any thread
};

// Answers notices with a function of the test's own.
class FunctionAnswerer : public NoticeAnswerer {
 public:
  explicit FunctionAnswerer(std::function<uint32_t(const NoticeParameters&)> f)
      : f_(std::move(f)) {}
  uint32_t answer(const NoticeParameters& n) override { return f_(n); }

 private:
  std::function<uint32_t(const NoticeParameters&)> f_;
};

// A window that records what the engine wrote to it.
class RecordingWindow : public JobWindow {
 public:
  std::vector<std::string> titles;
  std::vector<uint32_t> counts;
  std::vector<uint32_t> crcs;
  void setTitle(std::string_view t) override { titles.emplace_back(t); }
  void showSegmentCount(uint32_t c) override { counts.push_back(c); }
  void showCrc(uint32_t c) override { crcs.push_back(c); }
};

}  // namespace testing
}  // namespace trep

#endif  // TREP_TESTING_TEST_SUPPORT_H_
