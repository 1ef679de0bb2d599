// Where a job's output goes.
#ifndef TREP_PLANNING_DESTINATION_H_
#define TREP_PLANNING_DESTINATION_H_

#include <string>
#include <string_view>

#include "engine/job.h"

namespace trep {

// The text before the last separator of a path.
std::string folderOf(std::string_view path);

// The name cut just before its last "." (archive.tar.gz gives archive.tar);
// a name without a dot is returned unchanged.
std::string stripExtension(std::string_view name);

// With no window (batch mode): outputFolder gets a separator and the
// original name without its extension appended, whatever the mode. False
// when the result would not fit the 599-character field (nothing changes).
bool applyDestinationWithoutWindow(JobSettings& job);

}  // namespace trep

#endif  // TREP_PLANNING_DESTINATION_H_
