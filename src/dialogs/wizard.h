// The setup wizard: four pages that set up one split or join and, on Finish,
// start it through the main window.
#ifndef TREP_DIALOGS_WIZARD_H_
#define TREP_DIALOGS_WIZARD_H_

#include <windows.h>

#include <string>

#include "planning/planning.h"

namespace trep {

// What the wizard needs of the program around it: the records, the main
// window's own operations, and the services of the layer above.
class WizardHost {
 public:
  virtual ~WizardHost() = default;
  virtual JobSettings& job() = 0;
  virtual PersistedSettings& options() = 0;
  virtual Platform& platform() = 0;
  virtual SizeState& sizes() = 0;
  // The tooltip window every control registers with.
  virtual HWND tooltips() = 0;
  // Argument 1 of the command line into *path; the getArgument result.
  virtual int firstArgument(std::string* path) = 0;
  virtual void saveSettings() = 0;
  // The main window's drop handling, with `target` (a page) as the window.
  virtual void dropPath(Controls& target, const std::string& path) = 0;
  // The main window's surface, brought up to date when the wizard closes.
  virtual Controls& mainControls() = 0;
  // The main window (hidden while the wizard is open): the wizard opens
  // centred on it.
  virtual HWND mainWindow() = 0;
  // The main window's start of a prepared job (jobState 10).
  virtual void startJob() = 0;
};

// Shows the wizard modally and returns when it closes (Finish, Cancel or
// "Close Wizard"); then brings the main window up to date and starts the job
// that Finish prepared. The caller hides the main window before and shows it
// after.
void runWizard(WizardHost& host);

}  // namespace trep

#endif  // TREP_DIALOGS_WIZARD_H_
