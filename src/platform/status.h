// The result of a platform call: ok, or a failure that carries the path it
// concerned and the system's reason as text, so that a message can say which
// file and why ("out/data0002.trp: Read-only file system").
#ifndef TREP_PLATFORM_STATUS_H_
#define TREP_PLATFORM_STATUS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace trep {

class Status {
 public:
  // Ok.
  Status() = default;

  // A failure concerning `path`. `reason` is the system's text for `code`
  // (POSIX: strerror(errno); Win32: FormatMessage(GetLastError()) without
  // the final period and line end); `code` is that errno or GetLastError
  // value, 0 when the failure has no system code. `lasting`: trying again
  // cannot mend it by itself (a read-only file system, no permission, a
  // folder where a file should be, a name too long, not a regular file), as
  // opposed to a full disk or a missing medium, which the user can mend.
  static Status failure(std::string path, std::string reason, uint32_t code = 0,
                        bool lasting = false) {
    Status s;
    s.detail_ = std::make_shared<const Detail>(
        Detail{std::move(path), std::move(reason), code, lasting});
    return s;
  }

  bool ok() const { return detail_ == nullptr; }
  // True when ok, so that `if (!file->write(...))` reads as before.
  explicit operator bool() const { return ok(); }

  // Empty (and 0) when ok.
  const std::string& path() const { return ok() ? empty() : detail_->path; }
  const std::string& reason() const { return ok() ? empty() : detail_->reason; }
  uint32_t code() const { return ok() ? 0 : detail_->code; }
  bool lasting() const { return !ok() && detail_->lasting; }
  // The file is held by another program or job (a sharing violation, a
  // lock): neither damage nor absence, and gone when that job ends.
  bool inUse() const { return !ok() && detail_->inUse; }
  Status markedInUse() const {
    if (ok()) return *this;
    Status s = failure(detail_->path, detail_->reason, detail_->code, false);
    std::const_pointer_cast<Detail>(s.detail_)->inUse = true;
    return s;
  }

  // The same failure said of another path (a file written under a
  // temporary name reports the name it is made for). Ok stays ok.
  Status withPath(std::string path) const {
    if (ok()) return *this;
    Status s = failure(std::move(path), detail_->reason, detail_->code, detail_->lasting);
    std::const_pointer_cast<Detail>(s.detail_)->inUse = detail_->inUse;
    return s;
  }

  // Both failures, or both ok, with the same path, reason and code.
  bool sameAs(const Status& other) const {
    if (ok() || other.ok()) return ok() == other.ok();
    return path() == other.path() && code() == other.code() && reason() == other.reason();
  }

  // "path: reason" ("reason" alone without a path); empty when ok.
  std::string toString() const {
    if (ok()) return std::string();
    return detail_->path.empty() ? detail_->reason : detail_->path + ": " + detail_->reason;
  }

 private:
  struct Detail {
    std::string path;
    std::string reason;
    uint32_t code;
    bool lasting;
    bool inUse = false;
  };
  static const std::string& empty() {
    static const std::string kEmpty;
    return kEmpty;
  }
  // Null when ok: an ok result, the common one, costs one pointer. Shared,
  // never changed once made, so copies are cheap and safe across threads.
  std::shared_ptr<const Detail> detail_;
};

}  // namespace trep

#endif  // TREP_PLATFORM_STATUS_H_
