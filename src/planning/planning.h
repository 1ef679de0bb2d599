// What every planning routine works with: the job, the options, the
// platform, the surface it updates, and the window state of the size fields.
#ifndef TREP_PLANNING_PLANNING_H_
#define TREP_PLANNING_PLANNING_H_

#include <cstdint>

#include "engine/job.h"
#include "planning/controls.h"
#include "platform/platform.h"

namespace trep {

// Window state of the size controls; lives while the window is open.
struct SizeState {
  // The segment size in the unit one step below the one shown (bytes when
  // kBytes are shown, ...); 0 when shown in Bytes or after a change by the user.
  uint32_t preciseSize = 0;
  // A preset other than "Manual" was picked; the next manual change of count
  // or size puts the list back to "Manual".
  uint32_t presetChosen = 0;
};

struct PlanningContext {
  JobSettings& job;
  PersistedSettings& options;
  Platform& platform;
  Controls& controls;
  SizeState& sizes;
};

}  // namespace trep

#endif  // TREP_PLANNING_PLANNING_H_
