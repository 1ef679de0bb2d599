#include "planning/source_analysis.h"

#include <cstring>
#include <memory>
#include <string>

#include "engine/naming.h"
#include "engine/recovery/series_evidence.h"
#include "engine/segment_format.h"
#include "engine/series_survey.h"
#include "planning/destination.h"
#include "planning/mode_controls.h"
#include "planning/size_arithmetic.h"
#include "planning/size_summary.h"

namespace trep {

bool isSegmentName(std::string_view path) {
  return path.size() >= 4 && sameNameIgnoringCase(path.substr(path.size() - 4), ".trp");
}

uint32_t defaultSegmentSize(uint64_t fileSize) {
  uint64_t h = fileSize >> 1;
  while (h > 0xFFFFFFFFull) h >>= 1;
  return segmentSizeOf(h + h / 32);
}

namespace {

void answerReadMe(Platform& platform, uint32_t answer) {
  if (answer == kLowerButton) platform.openReadMe();
}

// The folder named by applyDestination does not fit its field: say so.
void refuseLongFolder(PlanningContext& p) {
  p.job.sourceValid = 0;
  answerReadMe(p.platform,
               raiseNotice(p.platform,
                           "The output folder for \"" + p.job.originalName.str() +
                               "\" would be longer than 599 characters.",
                           kOk, kOpenReadMe));
}

void analyseSplit(PlanningContext& p, uint64_t size) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
  if (size == 0) return;  // an empty file is not taken
  job.fileSize = size;
  showFileSize(p, CTL_FILE_SIZE, size);
  c.setText(CTL_SOURCE_PATH, job.sourcePath.view());
  job.isSplit = 1;
  c.setText(CTL_OUTPUT_FOLDER, p.platform.desktopFolder());
  job.sourceValid = 1;
  c.setCheck(CTL_USE_DESCRIPTION, p.options.useDescription != 0);
  c.setText(CTL_START, "Go Trep!");
  refreshModeControls(p);

  uint32_t v = presetSize(p, c.selection(CTL_PRESETS));
  if (v == 0 || p.options.wizardRunning != 0) v = defaultSegmentSize(size);
  job.segmentSize = v;
  showSegmentSize(p, v);
  countFromSize(p);
  c.setNumber(CTL_SEGMENT_COUNT, job.segmentCount);
  c.setSliderPosition(CTL_SLIDER, job.segmentCount);

  uint64_t sixteenth = size / 16;
  p.options.sliderMax = sixteenth > kMaxSegments ? kMaxSegments
                        : sixteenth < 1          ? 1
                                                 : static_cast<uint32_t>(sixteenth);
  c.setSliderMax(CTL_SLIDER, p.options.sliderMax);

  job.originalName = originalNameOf(job.sourcePath.view());
  if (!applyDestination(p)) refuseLongFolder(p);
}

// A series without headers: its files counted from 0001 on to the first
// missing number, as the join will read them, and their bytes added up,
// which is the size of the file they rebuild.
void measureHeaderless(PlanningContext& p) {
  JobSettings& job = p.job;
  const uint32_t n = countHeaderlessSegments(p.platform, job.segmentFolder.view(),
                                             job.segmentExtension.view());
  uint64_t total = 0;
  for (uint32_t k = 1; k <= n; ++k) {
    std::string path = findSegmentPath(p.platform, job.segmentFolder.view(),
                                       job.segmentExtension.view(), k);
    uint64_t size = 0;
    std::unique_ptr<File> segment =
        p.platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
    if (segment && segment->size(&size)) total += size;
  }
  job.segmentCount = n;
  job.fileSize = total;
}

// The series is taken: the window shows it as a join, its size fields the
// series rather than what they showed before.
void acceptJoin(PlanningContext& p) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
  showSegmentSize(p, job.segmentSize);
  c.setNumber(CTL_SEGMENT_COUNT, job.segmentCount);
  c.setSliderPosition(CTL_SLIDER, job.segmentCount);
  c.setText(CTL_SOURCE_PATH, job.sourcePath.view());
  c.setText(CTL_START, "Go UnTrep!");
  job.isSplit = 0;
  job.sourceValid = 1;
  if (!applyDestination(p)) refuseLongFolder(p);
  refreshModeControls(p);
}

void analyseJoin(PlanningContext& p) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
  std::string path = job.sourcePath.str();
  // Less the last eight characters, never bytes: "0001.trp" is eight
  // characters only in the name of a segment.
  std::string prefix(withoutLastCharacters(path, 8));
  // The other segments are looked for as the chosen one spells ".trp"
  // (and, failing that, in any letter case).
  const std::string extension = path.substr(path.size() - 4);
  std::unique_ptr<File> first = p.platform.openFile(
      findSegmentPath(p.platform, prefix, extension, 1), FileAccess::kRead, FileShare::kRead,
      FileCreate::kOpenExisting, kAttributeNormal, &job.sourceStatus);
  uint8_t header[kFullHeaderSize] = {0};
  uint32_t got = 0;
  uint64_t firstSize = 0;
  if (first) {
    if (!first->read(header, kFullHeaderSize, &got)) got = 0;
    first->size(&firstSize);
  }
  // Segment 0001 lost, or not what the recovery files beside it record:
  // its header as they rebuild it (the join rebuilds the rest).
  uint32_t vouched = 0;
  const recovery::FirstSegment from = recovery::firstSegmentFromRecovery(
      p.platform, prefix, header, kFullHeaderSize, &got, &firstSize, &vouched,
      &job.recoveryFilesRead);
  if (from == recovery::FirstSegment::kAsFound && !first) {
    answerReadMe(p.platform, raiseNotice(p.platform, kCannotFindFirst, kOk, kOpenReadMe));
    return;
  }
  job.segmentFolder = prefix;
  job.segmentExtension = extension;
  // The series' base name: choosing 0003.trp gives 0003.
  const std::string seriesBase(firstCharacters(fileNameOf(path), 4));
  if (from == recovery::FirstSegment::kLost) {
    // Taken without a header: the join reports what is missing and damaged.
    job.headerLost = 1;
    job.segmentCount = vouched;
    job.fileSize = 0;
    job.originalName = utf8TextOf(seriesBase);
    c.setText(CTL_DESCRIPTION, "");
    acceptJoin(p);
    return;
  }

  if (got < kMagicSize || std::memcmp(header, kMagic, kMagicSize) != 0) {
    const char* text = kNoHeader;
    if (got >= 4 && std::memcmp(header, kMagic, 4) == 0) {
      text = kOtherVersion;
    } else {
      job.rawSeries = 1;
    }
    if (raiseNotice(p.platform, text, kAttemptAnyway, kAbortProcedure) != kUpperButton) return;
  }

  if (job.rawSeries) {
    job.segmentSize = static_cast<uint32_t>(firstSize);
    job.firstSegmentBytes = firstSize;
    job.originalName = utf8TextOf(seriesBase);  // the rebuilt file's name: valid whatever the segments
    c.setText(CTL_DESCRIPTION, "");
    measureHeaderless(p);
    showFileSize(p, CTL_FILE_SIZE, job.fileSize);
  } else {
    if (!takeFirstHeader(header, got, firstSize, seriesBase, &job, &p.options.useDescription)) {
      // Refused before anything is touched: no segment number above 9999.
      answerReadMe(p.platform, raiseNotice(p.platform, kBadSegmentCount, kOk, kOpenReadMe));
      return;
    }
    c.setText(CTL_DESCRIPTION, p.options.useDescription != 0 ? job.description.view() : "");
    showFileSize(p, CTL_FILE_SIZE, job.fileSize);
    c.setCheck(CTL_USE_DESCRIPTION, p.options.useDescription != 0);
    c.setCheck(CTL_ENCRYPT, job.encrypt != 0);
  }

  acceptJoin(p);
}

}  // namespace

void analyseSource(PlanningContext& p) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
  if (job.jobState != kJobIdle || job.sourceValid != 0) return;
  job.jobState = kJobAnalysing;
  job.sourcePath = withNativeSeparators(job.sourcePath.str());
  job.fileCrc = 0;
  job.rawSeries = 0;
  job.headerLost = 0;
  job.recoveryFilesRead.reset();
  c.setText(CTL_FILE_SIZE, "XXX");

  job.sourceStatus = Status();
  job.sourceBytes = 0;

  std::string path = job.sourcePath.str();
  if (isSegmentName(path)) {
    analyseJoin(p);
  } else {
    // A window analyses its source field as it is typed into, so a text of
    // fewer than 4 characters is taken for a path not yet finished there.
    // The command line names a whole path: "ab" is the file ab in the
    // current folder, as ./ab would be.
    std::unique_ptr<File> file =
        p.platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                            FileCreate::kOpenExisting, kAttributeNormal, &job.sourceStatus);
    if (file) {
      job.sourceStatus = file->size(&job.sourceBytes);
      if (job.sourceStatus.ok() && (characterCount(path) >= 4 || !c.isWindow()))
        analyseSplit(p, job.sourceBytes);
    }
  }

  // The end of every branch.
  showSource(p);
  c.setNumber(CTL_CRC, job.fileCrc);
  job.jobState = kJobIdle;
  refreshModeControls(p);
  writeSizeSummary(p);
}

void showSource(PlanningContext& p) {
  const JobSettings& job = p.job;
  Controls& c = p.controls;
  if (!job.sourceValid) {
    c.setText(CTL_FILE_NAME, kNoFileName);
    c.setText(CTL_FILE_SIZE, "0");
    c.setText(CTL_START, kStartUndecided);
    return;
  }
  std::string name = job.originalName.str();
  c.setText(CTL_FILE_NAME, lastCharacters(name, 30));
  showFileSize(p, CTL_FILE_SIZE, job.fileSize);
  c.setText(CTL_START, job.isSplit ? "Go Trep!" : "Go UnTrep!");
}

namespace {

// True when `path` names the valid split source the job holds, of the size
// it was analysed with.
bool holdsSource(PlanningContext& p, const std::string& path) {
  const JobSettings& job = p.job;
  if (job.sourceValid != 1 || !job.isSplit || path != job.sourcePath.str()) return false;
  std::unique_ptr<File> file =
      p.platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
  uint64_t size = 0;
  return file && file->size(&size) && size == job.fileSize;
}

}  // namespace

void takeSource(PlanningContext& p, const std::string& given) {
  const std::string path = withNativeSeparators(given);
  JobSettings& job = p.job;
  if (job.jobState != kJobIdle) return;
  if (holdsSource(p, path)) {
    refreshModeControls(p);
    writeSizeSummary(p);
    return;
  }
  job.sourceValid = 0;
  job.sourcePath = PathText::fits(path) ? path : std::string();
  analyseSource(p);
}

void takeDroppedPath(PlanningContext& p, const std::string& path) {
  JobSettings& job = p.job;
  if (job.jobState != kJobIdle || path.empty() || !PathText::fits(path)) return;
  uint32_t attributes = p.platform.fileAttributes(path);
  bool folder = attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
  if (!folder) {
    takeSource(p, path);
  } else if (job.sourceValid == 1) {
    job.outputFolder = withNativeSeparators(path);
    p.controls.setText(CTL_OUTPUT_FOLDER, path);
    applyDestination(p);
  }
}

}  // namespace trep
