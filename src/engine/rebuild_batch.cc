#include "engine/rebuild_batch.h"

#include "engine/copy_loop.h"
#include "engine/naming.h"
#include "platform/text_encoding.h"

namespace trep {

namespace {

// Opens the file when a name is not ASCII. The command interpreter reads a
// batch file in the console's code page, which chcp 65001 makes UTF-8. Where
// it has not (an interpreter that reads in its own code page regardless,
// such as Wine's), "€" is read as more than one character (3 bytes are never
// one character of a single- or double-byte code page), and the file stops
// with a message rather than make a file under a wrong name.
constexpr char kUtf8Opening[] =
    "@chcp 65001 >nul\r\n"
    "@setlocal\r\n"
    "@set \"TrepProbe=\xE2\x82\xAC\"\r\n"
    "@if not \"%TrepProbe:~1%\"==\"\" (echo This command interpreter does not read "
    "UnTrep.bat as UTF-8, so it cannot name the files: nothing was copied.& exit /b 1)\r\n";

}  // namespace

std::string rebuildBatchText(std::string_view baseName, std::string_view originalName,
                             uint32_t segmentCount) {
  const std::string base = utf8TextOf(baseName);
  const std::string name = utf8TextOf(originalName);
  const std::string opening = isAscii(base) && isAscii(name) ? "" : kUtf8Opening;
  const std::string target = " \"" + name + "\"";
  auto names = [&](uint32_t first, uint32_t last) {
    std::string list;
    for (uint32_t n = first; n <= last; ++n) {
      if (n != first) list += '+';
      list += base + zeroPadded(n, 4) + ".trp";
    }
    return list;
  };
  if (segmentCount < 100) return opening + "Copy /b " + names(1, segmentCount) + target;

  std::string text = opening;
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
