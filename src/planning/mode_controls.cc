#include "planning/mode_controls.h"

#include "planning/destination.h"

namespace trep {

void refreshModeControls(PlanningContext& p) {
  Controls& c = p.controls;
  const JobSettings& job = p.job;
  const PersistedSettings& o = p.options;
  const bool split = job.isSplit != 0;
  const bool v = job.sourceValid != 0;
  const bool w = v && split;

  c.setTooltip(CTL_CHOOSE_FOLDER,
               split ? "Select Folder for Trepped File" : "Select Folder for Restored File");
  c.setTooltip(CTL_OUTPUT_FOLDER,
               split ? "Output Folder for Trepped File" : "Output Folder for Restored File");
  c.setTooltip(CTL_START, split ? "Start Trepping" : "Start UnTrepping");
  c.setTooltip(CTL_SOURCE_PATH, split ? "File to be Trepped" : "File to be UnTrepped");

  c.enable(CTL_ENCRYPT, v);
  c.enable(CTL_CIPHER_KEY, v && job.encrypt != 0);
  if (o.rebuildMethod == RebuildMethod::kBatFile || !split) {
    c.enable(CTL_USE_DESCRIPTION, false);
    c.enable(CTL_DESCRIPTION, false);
  } else {
    c.enable(CTL_USE_DESCRIPTION, v);
    c.enable(CTL_DESCRIPTION, v && o.useDescription != 0);
  }
  c.enable(CTL_USE_CRC, v);
  c.enable(CTL_REBUILD_METHOD, w);

  const bool fast = o.sizeMode == SizeMode::kFast, number = o.sizeMode == SizeMode::kNumber,
             size = o.sizeMode == SizeMode::kSize;
  c.enable(CTL_PRESETS, w && fast);
  c.enable(CTL_SLIDER, w && fast);
  c.enable(CTL_SIZE_NUMBER, w && size);
  c.enable(CTL_SIZE_UNIT, w && size);
  c.enable(CTL_SEGMENT_COUNT, w && number);
  c.enable(CTL_RECOVERY_COUNT, w);

  for (int id : {CTL_DESTINATION, CTL_CHECK_CRC, CTL_MODE_FAST, CTL_MODE_NUMBER, CTL_MODE_SIZE})
    c.enable(id, w);
  c.enable(CTL_START, v);
  const bool folder = o.destinationMode != DestinationMode::kSameAsSource && v;
  c.enable(CTL_OUTPUT_FOLDER, folder);
  c.enable(CTL_CHOOSE_FOLDER, folder);
}

}  // namespace trep
