#include "planning/source_analysis.h"

#include <cstring>
#include <memory>
#include <string>

#include "engine/naming.h"
#include "engine/recovery_job.h"
#include "engine/segment_format.h"
#include "planning/destination.h"
#include "planning/mode_controls.h"
#include "planning/size_arithmetic.h"
#include "planning/size_summary.h"

namespace trep {

bool isSegmentName(std::string_view path) {
  if (path.size() < 4) return false;
  std::string tail(path.substr(path.size() - 4));
  for (char& c : tail)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return tail == ".trp";
}

constexpr std::size_t kLongestName = 255;

bool isDeviceName(std::string_view name) {
  // Windows opens these as devices whatever the extension: CON, PRN, AUX,
  // NUL, COM1 to COM9, LPT1 to LPT9 ("LPT1.txt" too), trailing blanks ignored.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& ch : stem)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::string safeOriginalName(std::string_view recorded, std::string_view fallback) {
  std::size_t cut = recorded.find_last_of("\\/:");
  std::string_view name = cut == std::string_view::npos ? recorded : recorded.substr(cut + 1);
  // Only dots and blanks: no name at all once Windows drops trailing dots.
  if (name.find_first_not_of(". ") == std::string_view::npos || isDeviceName(name))
    return std::string(fallback);
  // File systems take names of at most 255 bytes: cut a longer one before
  // its extension, so the rebuilt file can be made at all.
  return cutBeforeExtension(name, kLongestName);
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

// The series is taken: the window shows it as a join.
void acceptJoin(PlanningContext& p) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
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
  std::string prefix = path.size() > 8 ? path.substr(0, path.size() - 8) : std::string();
  std::unique_ptr<File> first =
      p.platform.openFile(prefix + "0001.trp", FileAccess::kRead, FileShare::kRead,
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
  const FirstSegment from = firstSegmentFromRecovery(p.platform, prefix, header, kFullHeaderSize,
                                                     &got, &firstSize, &vouched);
  if (from == FirstSegment::kAsFound && !first) {
    answerReadMe(p.platform, raiseNotice(p.platform, kCannotFindFirst, kOk, kOpenReadMe));
    return;
  }
  job.segmentFolder = prefix;
  if (from == FirstSegment::kLost) {
    // Taken without a header: the join reports what is missing and damaged.
    job.headerLost = 1;
    job.segmentCount = vouched;
    job.fileSize = 0;
    job.originalName = fileNameOf(path).substr(0, 4);
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

  job.segmentSize = static_cast<uint32_t>(firstSize);
  job.firstSegmentBytes = firstSize;

  // The series' base name: choosing 0003.trp gives 0003.
  const std::string seriesBase = fileNameOf(path).substr(0, 4);
  if (job.rawSeries) {
    job.originalName = seriesBase;
    c.setText(CTL_DESCRIPTION, "");
  } else {
    decodeFullHeader(header, got, &job, &p.options.useDescription);
    if (job.segmentCount == 0 || job.segmentCount > kMaxSegments) {
      // Refused before anything is touched: no segment number above 9999.
      answerReadMe(p.platform, raiseNotice(p.platform, kBadSegmentCount, kOk, kOpenReadMe));
      return;
    }
    job.originalName = safeOriginalName(job.originalName.view(), seriesBase);
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
  job.fileCrc = 0;
  job.rawSeries = 0;
  job.headerLost = 0;
  c.setText(CTL_FILE_SIZE, "XXX");

  job.sourceStatus = Status();
  job.sourceBytes = 0;

  std::string path = job.sourcePath.str();
  if (isSegmentName(path)) {
    analyseJoin(p);
  } else {
    // Opened and measured whatever its length, so that a name too short to
    // be taken is explained as any other file.
    std::unique_ptr<File> file =
        p.platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                            FileCreate::kOpenExisting, kAttributeNormal, &job.sourceStatus);
    if (file) {
      job.sourceStatus = file->size(&job.sourceBytes);
      if (job.sourceStatus.ok() && path.size() >= 4) analyseSplit(p, job.sourceBytes);
    }
  }

  // The end of every branch.
  if (job.sourceValid) {
    std::string name = job.originalName.str();
    c.setText(CTL_FILE_NAME, name.size() < 30 ? name : name.substr(name.size() - 30));
  }
  c.setNumber(CTL_CRC, job.fileCrc);
  job.jobState = kJobIdle;
  refreshModeControls(p);
  writeSizeSummary(p);
}

void takeDroppedPath(PlanningContext& p, const std::string& path) {
  JobSettings& job = p.job;
  if (job.jobState != kJobIdle || path.empty() || path.size() > PathText::kMaxLength) return;
  uint32_t attributes = p.platform.fileAttributes(path);
  bool folder = attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
  if (!folder) {
    job.sourceValid = 0;
    job.sourcePath = path;
    analyseSource(p);
  } else if (job.sourceValid == 1) {
    job.outputFolder = path;
    p.controls.setText(CTL_OUTPUT_FOLDER, path);
    applyDestination(p);
  }
}

}  // namespace trep
