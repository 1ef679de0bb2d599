// The system's file dialog and folder browser, for the source file and the
// output folder.
#ifndef TREP_DIALOGS_CHOOSERS_H_
#define TREP_DIALOGS_CHOOSERS_H_

#include <windows.h>

#include <string>

#include "planning/planning.h"
#include "platform/fixed_text.h"

namespace trep {

// The open-file dialog, opened on the path `path` already holds. 1 when the
// user picked a file (its full path is then in `path`), 0 when cancelled
// (`path` unchanged).
int chooseFile(HWND owner, PathText& path);

// The shell's folder browser rooted at the desktop. 1 with the folder in
// `folder`, 0 when cancelled.
int browseForFolder(HWND owner, std::string* folder);

// The "Choose..." beside the output folder, on the main window or the
// wizard's destination page: a folder picked while a valid source is chosen
// goes into field 1004, and the destination rule is applied to it.
void chooseOutputFolder(PlanningContext& p, HWND window);

}  // namespace trep

#endif  // TREP_DIALOGS_CHOOSERS_H_
