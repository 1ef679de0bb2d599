// Where a job's output goes: the folder field used as it stands, a folder
// named after the file inside it, or the source's own folder.
#ifndef TREP_PLANNING_DESTINATION_H_
#define TREP_PLANNING_DESTINATION_H_

#include <string>
#include <string_view>

#include "engine/naming.h"
#include "planning/planning.h"

namespace trep {

// The entries of the destination list, in DestinationMode order.
extern const char* const kDestinationNames[4];

// The text before the last separator of a path: C:\data.bin gives C:. A path
// without a separator gives the path less its last character. On POSIX a
// file in the root folder gives "/".
std::string folderOf(std::string_view path);

// The name cut just before its last "." (archive.tar.gz gives archive.tar);
// a name without a dot is returned unchanged.
std::string stripExtension(std::string_view name);

// The folder a Named Folder destination adds: the original name without its
// extension, with a result of "." or ".." written as "_" or "__" so that it
// never leads out of the output folder.
std::string namedFolderOf(std::string_view originalName);

// Applies destinationMode to outputFolder and the folder field.
// No window (batch mode): outputFolder gets a separator and the original name
// without its extension, whatever the mode. With a window: Named Folder
// appends that name to the field's folder unless it already ends with it;
// Same as Source takes the source's folder; Folder changes nothing. Returns
// false, changing nothing, when the folder would not fit 599 characters.
bool applyDestination(PlanningContext& p);

// The destination list's selection: "Multi-Removable" sets multiRemovable
// and uses the folder as it stands (destinationMode 0); any other entry
// clears multiRemovable.
void chooseDestination(PlanningContext& p, int listIndex);

// The five choices of the wizard's destination page.
enum class WizardFolder { kDesktop, kSourceFolder, kUnchanged };
struct WizardDestination {
  const char* caption;
  WizardFolder folder;        // what the folder field gets
  DestinationMode destinationMode;
  bool apply;                 // whether applyDestination runs afterwards
  bool folderChoosable;       // the field and its "Choose" are enabled
};
extern const WizardDestination kWizardDestinations[5];

}  // namespace trep

#endif  // TREP_PLANNING_DESTINATION_H_
