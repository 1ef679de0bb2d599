#include "engine/rebuild_batch.h"

#include "engine/copy_loop.h"
#include "engine/naming.h"

namespace trep {

std::string rebuildBatchText(std::string_view baseName, std::string_view originalName,
                             uint32_t segmentCount) {
  const std::string base(baseName);
  const std::string target = std::string(" \"") + std::string(originalName) + "\"";
  auto names = [&](uint32_t first, uint32_t last) {
    std::string list;
    for (uint32_t n = first; n <= last; ++n) {
      if (n != first) list += '+';
      list += base + zeroPadded(n, 4) + ".trp";
    }
    return list;
  };
  if (segmentCount < 100) return "Copy /b " + names(1, segmentCount) + target;

  std::string text;
  uint32_t groups = 0;
  for (uint32_t first = 1; first <= segmentCount; first += 100) {
    uint32_t last = first + 99 < segmentCount ? first + 99 : segmentCount;
    ++groups;
    text += "Copy /b " + names(first, last) + " \"X" + zeroPadded(groups, 4) + ".trp\"\r\n";
  }
  text += "Copy /b ";
  for (uint32_t g = 1; g <= groups; ++g) {
    if (g != 1) text += '+';
    text += "X" + zeroPadded(g, 4) + ".trp";
  }
  return text + target;
}

bool writeRebuildBatch(JobContext& ctx, uint32_t segmentCount) {
  const JobSettings& job = ctx.job;
  std::string text = rebuildBatchText(job.baseName.view(), job.originalName.view(), segmentCount);
  std::string path = job.outputFolder.str() + kPathSeparator + kRebuildBatchName;
  // Replaced without a question, as always; a link of that name is
  // replaced itself.
  OutputFile file(ctx, path);
  return file.create() &&
         writeOrAsk(ctx, file.file(), text.data(), static_cast<uint32_t>(text.size())) &&
         file.complete(nullptr, kAttributeNormal);
}

}  // namespace trep
