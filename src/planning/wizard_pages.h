// The steps of the setup wizard's four pages, against the page's surface:
// what each page does when it opens, when it becomes active, when one of
// its controls is used and when it is left. The sheet around them (the
// Windows property sheet, its buttons and navigation) is dialogs/wizard.cc.
//
// Every page writes straight into the job and the options, through the same
// routines as the main window. No step here depends on the change
// notifications its own writes raise: where a page's write would set off
// one of its own rules, the step runs that rule itself, with sourceValid
// held at 0 so the notification is ignored.
#ifndef TREP_PLANNING_WIZARD_PAGES_H_
#define TREP_PLANNING_WIZARD_PAGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "planning/planning.h"

namespace trep {

// The preset number of a media button of page 2 (1102 to 1109: 1 to 8;
// 1120 "DVD (4.5 GB)": 19), or 0 for any other id.
int wizardPresetNumber(int id);

// ---- Page 1, "Select File" ----

// Page 1's surface: the page itself, and the output-folder field it lacks.
// Source analysis and the drop handling form the output folder from the
// folder field (a named folder is appended to what it holds); on a bare
// page that field would read as empty and leave a relative folder of just
// the file's name. The field kept here starts as the main window's and is
// never shown.
class SourcePageControls : public ControlsWrapper {
 public:
  SourcePageControls(Controls& page, std::string folder)
      : ControlsWrapper(page), folder_(std::move(folder)) {}

  void setText(int id, std::string_view text) override;
  std::string text(int id) override;

 private:
  std::string folder_;
};

// Opening. `argument` is argument 1 of the command line, empty when there
// is none. A file named there is analysed, unless it is the valid file the
// job already holds. Without one, a valid file of the main window is kept;
// otherwise the path is emptied. The field shows the path when it is valid
// and is empty otherwise.
void openSourcePage(PlanningContext& p, const std::string& argument);

// Field 1002 changed, by typing or otherwise: text that differs from
// sourcePath is analysed as a new source (as on the main window); the same
// text again is not. A text too long to hold is never cut to a shorter
// path: it leaves no valid source. True when the source changed.
bool sourceTyped(PlanningContext& p);

// Page 1's Next goes here: page 3 ("Select Destination") for a join,
// page 2 for a split. Page 3's Back is the mirror image.
enum class WizardPage { kFile = 0, kMethod = 1, kDestination = 2, kOptions = 3 };
WizardPage pageAfterFile(const JobSettings& job);
WizardPage pageBeforeDestination(const JobSettings& job);

// ---- Page 2, "Trep Method" (sourceValid is its ready mark) ----

// Opening: "Divide by number" checked, the count field usable, the size
// shown and the count asked for set to 2, so a split left as it is cuts
// two segments. The unit list's entries and the up-down ranges are the
// sheet's part.
void openMethodPage(PlanningContext& p);
// A media button (preset number from wizardPresetNumber).
void methodPresetChosen(PlanningContext& p, int presetNumber);
// "Custom Size" / "Divide by number".
void methodCustomSize(PlanningContext& p);
void methodDivide(PlanningContext& p);
// Field 1007 / field 1012 changed.
void methodSizeTyped(PlanningContext& p);
void methodCountTyped(PlanningContext& p);

// ---- Page 3, "Select Destination" ----

// The entry of kWizardDestinations that page 3 opens with for a
// destinationMode: 3 same folder as the source, 2 named folder on the
// desktop, anything else (0, and Multi-Removable's 1) the desktop.
int openingDestination(DestinationMode destinationMode);
// Opening: the radio button of openingDestination checked and its choice
// applied.
void openDestinationPage(PlanningContext& p);
// One of the five radio buttons (index 0 to 4 into kWizardDestinations).
void chooseWizardDestination(PlanningContext& p, int index);
// Leaving (Next or Back): the folder field becomes outputFolder; the wizard
// has no removable-media destination. False, changing nothing, when the
// field holds more than a path can.
bool leaveDestinationPage(PlanningContext& p);

// ---- Page 4, "Options" ----

// Opening: "Use Trep" checked, the boxes from useCrc, useDescription and
// encrypt.
void openOptionsPage(PlanningContext& p);
// Becoming active: in a join the rebuild choice and "Description" are not
// usable and the series' description is shown.
void activateOptionsPage(PlanningContext& p);
// The page's buttons: 1019 "Use Trep", 1020 the BAT file, 1021 "Encrypt",
// 1022 "Description".
void optionsClicked(PlanningContext& p, int id);
// Finish: the rebuild method, key, description, "Use CRC" and the number
// of recovery files taken from the page; the job is prepared (jobState 10).
void finishOptions(PlanningContext& p);

// ---- The main window after the wizard ----

// Brings the main window (p.controls) up to date from the job, whatever
// closed the wizard: folder, path, size and count, in this order, each
// write setting off the window's own reactions; then wizardRunning is 0
// and the control states are refreshed. The caller then starts the job
// if jobState is 10.
void showWizardResult(PlanningContext& p);

}  // namespace trep

#endif  // TREP_PLANNING_WIZARD_PAGES_H_
