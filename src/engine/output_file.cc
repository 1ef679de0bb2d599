// Files a job makes: a hidden temporary file beside the final name, renamed
// over it once complete.
#include "engine/copy_loop.h"

namespace trep {

bool OutputFile::create() {
  discard();
  for (;;) {
    if (ctx_.job.jobResult == kResultAborted) return false;
    Status why;
    file_ = ctx_.platform.createTemporaryFor(path_, &temporary_, &why);
    if (file_) return true;
    if (!askAfterWriteError(ctx_, why)) return false;
  }
}

bool OutputFile::complete(const FileTimes* times, uint32_t attributes) {
  if (!file_) return false;
  // Times go on while the file is open (Win32 sets them on the handle);
  // the rename and the attributes keep them.
  if (times != nullptr) file_->setTimes(*times);
  file_.reset();
  ctx_.platform.setAttributes(temporary_, attributes);
  for (;;) {
    Status named = ctx_.platform.replaceFile(temporary_, path_);
    if (named) {
      temporary_.clear();
      return true;
    }
    if (!askAfterWriteError(ctx_, named)) {
      discard();
      return false;
    }
  }
}

bool OutputFile::reopenForReading(Status* why) {
  if (!file_) return false;
  file_.reset();
  file_ = ctx_.platform.openFile(temporary_, FileAccess::kReadWrite, FileShare::kNone,
                                 FileCreate::kOpenExisting, kAttributeNormal, why);
  if (!file_ && why != nullptr) *why = why->withPath(path_);
  return file_ != nullptr;
}

void OutputFile::discard() {
  file_.reset();
  if (temporary_.empty()) return;
  // Windows removes no read-only file: complete() may have made it one.
  ctx_.platform.setAttributes(temporary_, kAttributeNormal);
  ctx_.platform.deleteFile(temporary_);
  temporary_.clear();
}

}  // namespace trep
