// Files a job makes: a hidden temporary file beside the final name, renamed
// over it once complete.
#include <algorithm>
#include <vector>

#include "engine/copy_loop.h"
#include "platform/folder_listing.h"

namespace trep {

namespace {

// Names this program gives files while it makes them: ".trep-" and six
// letters or digits (a file not yet complete), and a join's rebuilt
// segments ("data0003.trp.rebuilt", "….rebuilt2").
bool isLeftTemporary(const std::string& name) {
  if (name.size() == 12 && name.compare(0, 6, ".trep-") == 0) return true;
  const std::size_t at = name.find(".trp.rebuilt");
  return at != std::string::npos && at + 12 <= name.size() &&
         name.find_first_not_of("0123456789", at + 12) == std::string::npos;
}

}  // namespace

void tellOfLeftTemporaries(JobContext& ctx, const std::string& folder) {
  std::vector<std::string> found;
  for (const std::string& name : listFolder(folder))
    if (isLeftTemporary(name)) found.push_back(name);
  if (found.empty()) return;
  std::sort(found.begin(), found.end());
  std::string names;
  for (std::size_t i = 0; i < found.size() && i < 4; ++i) names += (i == 0 ? "" : ", ") + found[i];
  if (found.size() > 4) names += " and " + std::to_string(found.size() - 4) + " more";
  const std::string text = "Files left by an interrupted job lie in the folder \"" + folder +
                           "\": " + names +
                           ". This job neither uses nor removes them; remove them when no job runs.";
  ctx.job.leftoverNote = text;
  if (!ctx.job.quiet) tellInformation(ctx.platform, text);
}

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
  // "Finished" means on the disk: the bytes reach the medium before the
  // file takes its name, and the name before the job goes on (and before
  // the next removable medium is asked for).
  for (;;) {
    Status synced = file_->sync();
    if (synced) break;
    if (!askAfterWriteError(ctx_, synced)) {
      discard();
      return false;
    }
  }
  file_.reset();
  ctx_.platform.setAttributes(temporary_, attributes);
  for (;;) {
    Status named = ctx_.platform.replaceFile(temporary_, path_);
    if (named) {
      temporary_.clear();
      break;
    }
    if (!askAfterWriteError(ctx_, named)) {
      discard();
      return false;
    }
  }
  const std::size_t cut = path_.rfind(kPathSeparator);
  const std::string folder = cut == std::string::npos ? std::string(".")
                             : cut == 0               ? path_.substr(0, 1)
                                                      : path_.substr(0, cut);
  for (;;) {
    Status synced = ctx_.platform.syncFolder(folder);
    if (synced || !askAfterWriteError(ctx_, synced)) return true;
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
