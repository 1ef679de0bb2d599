#include "engine/series_survey.h"

#include <algorithm>
#include <cstring>

#include "engine/join_recovery.h"
#include "engine/naming.h"
#include "engine/recovery/series_evidence.h"
#include "engine/segment_format.h"

namespace trep {

uint32_t countHeaderlessSegments(Platform& platform, std::string_view prefix,
                                 std::string_view extension) {
  uint32_t n = 0;
  while (n < kMaxSegments) {
    const uint32_t attributes =
        platform.fileAttributes(findSegmentPath(platform, prefix, extension, n + 1));
    if (attributes == kInvalidAttributes || (attributes & kAttributeDirectory) != 0) break;
    ++n;
  }
  return n;
}

bool SeriesSurvey::allThere() const {
  return std::all_of(segments.begin(), segments.end(),
                     [](const SegmentFinding& s) { return s.state == SegmentState::kThere; });
}

const SegmentFinding* SeriesSurvey::firstInUse() const {
  for (const SegmentFinding& s : segments)
    if (s.state == SegmentState::kInUse) return &s;
  return nullptr;
}

const SegmentFinding* SeriesSurvey::firstUnreadable() const {
  for (const SegmentFinding& s : segments)
    if (s.state == SegmentState::kUnreadable) return &s;
  return nullptr;
}

namespace {

// The payload every segment but the last carries, for a series with
// headers of `count` segments and `fileSize` bytes: P such that the last
// segment holds 1 .. P bytes. Taken from 0001 when its size fits, else from
// the first later segment (not the last) whose size fits; 0 when none does.
uint64_t fullPayload(const JobSettings& job, const std::vector<SegmentFinding>& segments) {
  const uint64_t count = job.segmentCount;
  const uint64_t size = job.fileSize;
  auto fits = [&](uint64_t p) {
    if (p == 0 || count == 0) return false;
    if (count == 1) return p == size;
    return p * (count - 1) < size && (size - 1) / p < count;
  };
  if (job.firstSegmentBytes > kFullHeaderSize && fits(job.firstSegmentBytes - kFullHeaderSize))
    return job.firstSegmentBytes - kFullHeaderSize;
  for (std::size_t i = 1; i + 1 < segments.size(); ++i) {
    const SegmentFinding& s = segments[i];
    if (s.state == SegmentState::kThere && s.size > kShortHeaderSize &&
        fits(s.size - kShortHeaderSize))
      return s.size - kShortHeaderSize;
  }
  return 0;
}

// Opens segment s and notes what it is: its size, and for a later segment
// of a series with headers whether it opens with the magic.
void look(Platform& platform, const JobSettings& job, SegmentFinding& s) {
  Status why;
  std::unique_ptr<File> file = platform.openFile(s.path, FileAccess::kRead, FileShare::kRead,
                                                 FileCreate::kOpenExisting, kAttributeNormal, &why);
  if (!file) {
    const uint32_t attributes = platform.fileAttributes(s.path);
    s.why = why;
    s.state = attributes == kInvalidAttributes            ? SegmentState::kMissing
              : why.inUse()                               ? SegmentState::kInUse
              : (attributes & kAttributeDirectory) != 0   ? SegmentState::kNotAFile
              : why.lasting() && why.reason() == "Not a regular file" ? SegmentState::kNotAFile
                                                                      : SegmentState::kUnreadable;
    return;
  }
  if (Status sized = file->size(&s.size); !sized) {
    s.why = sized;
    s.state = SegmentState::kUnreadable;
    return;
  }
  s.state = SegmentState::kThere;
  if (s.number > 1 && !job.rawSeries && !job.headerLost) {
    char magic[kMagicSize] = {0};
    uint32_t got = 0;
    if (Status read = file->read(magic, kMagicSize, &got); !read) {
      s.why = read;
      s.state = SegmentState::kUnreadable;
    } else if (got != kMagicSize || std::memcmp(magic, kMagic, kMagicSize) != 0) {
      s.state = SegmentState::kNoMagic;
    }
  }
}

}  // namespace

SeriesSurvey surveySeries(Platform& platform, const JobSettings& job) {
  SeriesSurvey survey;
  survey.prefix = job.segmentFolder.str();
  splitPrefix(survey.prefix, &survey.folder, &survey.base);
  const std::string_view extension = job.segmentExtension.view();

  // The recovery files first: for a headerless series they tell the count.
  survey.reading =
      recovery::readRecoveryFiles(platform, survey.folder, survey.base, job.recoveryFilesRead);
  const recovery::SetReading& reading = *survey.reading;
  switch (reading.found) {
    case recovery::SetFound::kNone: survey.setUse = SetUse::kNone; break;
    case recovery::SetFound::kUnusable:
      survey.setUse = SetUse::kUnusable;
      survey.setNote = reading.why.toString();
      break;
    case recovery::SetFound::kUsable: {
      std::string why, ambiguity;
      recovery::SetVerdict verdict = recovery::SetVerdict::kOtherSeries;
      const recovery::RecoverySet* chosen = recovery::chooseSet(
          platform, reading, survey.prefix, job.rawSeries || job.headerLost ? nullptr : &job,
          nullptr, &verdict, &why, &ambiguity);
      if (!ambiguity.empty()) {
        survey.setUse = SetUse::kAmbiguous;
        survey.setNote = ambiguity;
      } else if (chosen != nullptr) {
        survey.setUse = SetUse::kUsed;
        survey.set = *chosen;
      } else {
        survey.setUse = verdict == recovery::SetVerdict::kUnconfirmed ? SetUse::kUnconfirmed
                                                                      : SetUse::kNotThisSeries;
        survey.setNote = notUsedText(survey.prefix, verdict, why);
      }
      break;
    }
  }

  if (survey.setUse == SetUse::kUsed && (job.rawSeries || job.headerLost)) {
    for (const recovery::SetFile& f : survey.set.files)
      survey.count = std::max(survey.count, f.segment);
  } else if (job.rawSeries) {
    survey.count = countHeaderlessSegments(platform, survey.prefix, extension);
  } else {
    survey.count = job.segmentCount;
  }

  survey.segments.resize(survey.count);
  for (uint32_t n = 1; n <= survey.count; ++n) {
    SegmentFinding& s = survey.segments[n - 1];
    s.number = n;
    s.path = findSegmentPath(platform, survey.prefix, extension, n);
    look(platform, job, s);
  }

  // Sizes. With the set: what it records. With a header: its count and
  // size, and the payload every segment but the last carries.
  if (survey.setUse == SetUse::kUsed) {
    for (const recovery::SetFile& f : survey.set.files)
      if (f.segment >= 1 && f.segment <= survey.count)
        survey.segments[f.segment - 1].expected = f.description.length;
  } else if (!job.rawSeries && !job.headerLost) {
    const uint64_t payload = fullPayload(job, survey.segments);
    for (SegmentFinding& s : survey.segments) {
      const uint64_t header = s.number == 1 ? kFullHeaderSize : kShortHeaderSize;
      if (payload != 0) {
        const uint64_t before = payload * (s.number - 1);
        s.expected = header + (s.number < survey.count ? payload : job.fileSize - before);
      } else if (s.number == 1 && s.size < kFullHeaderSize) {
        s.expected = kFullHeaderSize;  // at least its header; the rest cannot be told
        if (s.state == SegmentState::kThere) s.state = SegmentState::kWrongSize;
      }
    }
    // No payload fits: the sizes cannot all be right. Which one is wrong
    // the disk cannot say; the total is what the header records.
    const bool sized = std::all_of(
        survey.segments.begin(), survey.segments.end(), [](const SegmentFinding& s) {
          return s.state == SegmentState::kThere || s.state == SegmentState::kNoMagic;
        });
    if (payload == 0 && sized && !survey.segments.empty()) {
      uint64_t total = 0;
      for (const SegmentFinding& s : survey.segments) {
        const uint64_t header = s.number == 1 ? kFullHeaderSize : kShortHeaderSize;
        total += s.size > header ? s.size - header : 0;
      }
      if (total != job.fileSize) survey.segments.back().state = SegmentState::kWrongSize;
    }
  }
  for (SegmentFinding& s : survey.segments)
    if (s.state == SegmentState::kThere && s.expected != 0 && s.size != s.expected)
      s.state = SegmentState::kWrongSize;
  return survey;
}

std::string segmentStateText(const SegmentFinding& s) {
  switch (s.state) {
    case SegmentState::kThere: return "there";
    case SegmentState::kMissing: return "missing";
    case SegmentState::kNotAFile: return "missing: a folder or device has its name";
    case SegmentState::kInUse:
      return "in use by another program or job (" + s.why.reason() + ")";
    case SegmentState::kUnreadable: return "cannot be read (" + s.why.reason() + ")";
    case SegmentState::kWrongSize:
      return s.expected == 0 ? "damaged: of another size than the series records"
                             : "damaged: " + std::to_string(s.size) + " bytes, " +
                                   std::to_string(s.expected) + " expected";
    case SegmentState::kNoMagic: return "damaged: its first 8 bytes are not a segment's";
  }
  return std::string();
}

}  // namespace trep
