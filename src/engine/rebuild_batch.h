// "UnTrep.bat": rebuilds a headerless series with the command interpreter's
// byte-wise "Copy /b", so the receiver needs no copy of the program.
// Lines end with CR LF; the last line has none. Segments are listed by name
// without folder or quotes; the original name is quoted. From 100 segments
// on, groups of 100 are first copied into X0001.trp, X0002.trp, ...
// Names of ASCII characters only: exactly these lines. A name of any other
// character: the file is UTF-8, opened by four lines that switch the
// interpreter to UTF-8 and stop it, with a message, where it cannot read so.
#ifndef TREP_ENGINE_REBUILD_BATCH_H_
#define TREP_ENGINE_REBUILD_BATCH_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace trep {

inline constexpr char kRebuildBatchName[] = "UnTrep.bat";

// The exact text for `segmentCount` (1..9999) segments.
std::string rebuildBatchText(std::string_view baseName, std::string_view originalName,
                             uint32_t segmentCount);

// Writes outputFolder/UnTrep.bat, replacing any old one without asking. A
// file that cannot be written raises the write error question. False when
// the user aborted (jobResult is then 99).
bool writeRebuildBatch(JobContext& ctx, uint32_t segmentCount);

}  // namespace trep

#endif  // TREP_ENGINE_REBUILD_BATCH_H_
