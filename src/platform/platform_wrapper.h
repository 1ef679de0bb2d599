// Forwarding bases: a Platform and a File that pass every call on to another
// one, so that a platform with faults added, or one that counts what it was
// asked, overrides only the calls it changes.
#ifndef TREP_PLATFORM_PLATFORM_WRAPPER_H_
#define TREP_PLATFORM_PLATFORM_WRAPPER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace trep {

class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> target) : target_(std::move(target)) {}
  File& target() { return *target_; }

  Status read(void* buffer, uint32_t n, uint32_t* done) override {
    return target_->read(buffer, n, done);
  }
  Status write(const void* buffer, uint32_t n, uint32_t* done) override {
    return target_->write(buffer, n, done);
  }
  Status seek(uint64_t offset) override { return target_->seek(offset); }
  Status tell(uint64_t* offset) override { return target_->tell(offset); }
  Status size(uint64_t* bytes) override { return target_->size(bytes); }
  Status getTimes(FileTimes* times) override { return target_->getTimes(times); }
  Status setTimes(const FileTimes& times) override { return target_->setTimes(times); }
  Status sync() override { return target_->sync(); }
  // Both files come from the same wrapping platform: a wrapped source is
  // passed on as the file it wraps, so the system sees its own two files.
  DirectMove moveFrom(File& source, uint32_t n, uint32_t* done, Status* why) override {
    auto* wrapped = dynamic_cast<FileWrapper*>(&source);
    return target_->moveFrom(wrapped != nullptr ? wrapped->target() : source, n, done, why);
  }

 private:
  std::unique_ptr<File> target_;
};

// Notices are not forwarded: raiseNotice answers with this object's own
// answerer (setNoticeAnswerer), as with any platform.
class PlatformWrapper : public Platform {
 public:
  // Forwards to `target`, which must outlive the wrapper. (A pointer: a
  // reference to another wrapper would pick the copy constructor.)
  explicit PlatformWrapper(Platform* target) : target_(target) {}
  // Forwards to a platform the wrapper owns.
  explicit PlatformWrapper(std::unique_ptr<Platform> target)
      : owned_(std::move(target)), target_(owned_.get()) {}
  Platform& target() { return *target_; }

  std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                 FileCreate create, uint32_t attributes = kAttributeNormal,
                                 Status* why = nullptr) override {
    return target_->openFile(path, access, share, create, attributes, why);
  }
  uint32_t fileAttributes(const std::string& path) override {
    return target_->fileAttributes(path);
  }
  Status replaceFile(const std::string& from, const std::string& to) override {
    return target_->replaceFile(from, to);
  }
  std::unique_ptr<File> createTemporaryFor(const std::string& path, std::string* temporary,
                                           Status* why = nullptr) override {
    return target_->createTemporaryFor(path, temporary, why);
  }
  Status setAttributes(const std::string& path, uint32_t attributes) override {
    return target_->setAttributes(path, attributes);
  }
  bool nameTaken(const std::string& path) override { return target_->nameTaken(path); }
  Status deleteFile(const std::string& path) override { return target_->deleteFile(path); }
  Status syncFolder(const std::string& path) override { return target_->syncFolder(path); }
  bool sameFile(const std::string& a, const std::string& b) override {
    return target_->sameFile(a, b);
  }
  std::string temporaryName() override { return target_->temporaryName(); }
  Status createFolder(const std::string& path) override { return target_->createFolder(path); }
  bool folderExists(const std::string& path) override { return target_->folderExists(path); }
  std::string findNameIgnoringCase(const std::string& folder, const std::string& name) override {
    return target_->findNameIgnoringCase(folder, name);
  }
  void* allocateZeroed(uint64_t bytes) override { return target_->allocateZeroed(bytes); }
  void release(void* block) override { target_->release(block); }
  uint64_t totalPhysicalMemory() override { return target_->totalPhysicalMemory(); }
  std::string programFolder() override { return target_->programFolder(); }
  bool isRemovableDrive(const std::string& path) override {
    return target_->isRemovableDrive(path);
  }
  std::string desktopFolder() override { return target_->desktopFolder(); }
  std::string appDataFolder() override { return target_->appDataFolder(); }
  uint32_t enablePrivilege(const std::string& name, bool enable) override {
    return target_->enablePrivilege(name, enable);
  }
  bool tryInstanceLock(const std::string& name) override {
    return target_->tryInstanceLock(name);
  }
  void sleepMs(uint32_t ms) override { target_->sleepMs(ms); }
  void openReadMe() override { target_->openReadMe(); }
  void showMessageBox(const std::string& text, const std::string& caption) override {
    target_->showMessageBox(text, caption);
  }

 private:
  std::unique_ptr<Platform> owned_;  // empty when the target belongs to someone else
  Platform* target_;
};

}  // namespace trep

#endif  // TREP_PLATFORM_PLATFORM_WRAPPER_H_
