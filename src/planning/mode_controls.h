// Which controls of the window may be used, by the current job and options.
#ifndef TREP_PLANNING_MODE_CONTROLS_H_
#define TREP_PLANNING_MODE_CONTROLS_H_

#include "planning/planning.h"

namespace trep {

// Enables the option controls by V (a valid file) and W (a valid file to
// split), the size controls of the current sizeMode, and gives the four
// operation controls the tooltip of the current operation.
void refreshModeControls(PlanningContext& p);

}  // namespace trep

#endif  // TREP_PLANNING_MODE_CONTROLS_H_
