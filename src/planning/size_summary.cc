#include "planning/size_summary.h"

#include "planning/size_arithmetic.h"

namespace trep {

std::string sizeSummary(const JobSettings& job, uint32_t* preciseSize) {
  if (job.sourceValid == 0) return "Pick a valid file.";
  if (job.segmentCount > kMaxSegments) return "Too many files! (9,999 max.)";
  if (!job.isSplit)
    return "File was Trepped into " + std::to_string(job.segmentCount) + " files";
  uint32_t v = job.segmentSize;
  int unit = 0;
  *preciseSize = 0;
  while (v > 10000) {
    *preciseSize = v;
    v /= 1024;
    ++unit;
  }
  return "File will be Trepped into " + std::to_string(job.segmentCount) + " files of " +
         std::to_string(v) + " " + kUnitNames[unit > 3 ? 3 : unit];
}

uint32_t recoveryFilesOf(const JobSettings& job, const PersistedSettings& options) {
  if (job.sourceValid == 0 || !job.isSplit || job.segmentCount > kMaxSegments) return 0;
  return options.recoveryFiles < job.segmentCount ? options.recoveryFiles : job.segmentCount;
}

uint32_t recoveryFilesTyped(Controls& c) {
  const uint32_t n = c.number(CTL_RECOVERY_COUNT);
  return n > kMaxSegments ? kMaxSegments : n;
}

std::string recoverySummary(const JobSettings& job, const PersistedSettings& options) {
  const uint32_t n = recoveryFilesOf(job, options);
  if (n == 0) return std::string();
  return "+ " + std::to_string(n) + (n == 1 ? " recovery file" : " recovery files");
}

void writeSizeSummary(PlanningContext& p) {
  uint32_t precise = p.sizes.preciseSize;
  std::string text = sizeSummary(p.job, &precise);
  p.sizes.preciseSize = precise;
  p.controls.setText(CTL_SIZE_SUMMARY, text);
  // A line of its own beside the count: the summary's line is full.
  p.controls.setText(CTL_RECOVERY_SUMMARY, recoverySummary(p.job, p.options));
}

std::string groupedSize(uint64_t size) {
  std::string digits = std::to_string(size);
  std::string out;
  std::size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  out = digits.substr(0, first);
  for (std::size_t i = first; i < digits.size(); i += 3) out += ", " + digits.substr(i, 3);
  return out;
}

void showFileSize(PlanningContext& p, int id, uint64_t size) {
  p.controls.setText(id, groupedSize(size));
}

}  // namespace trep
