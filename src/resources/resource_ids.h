// Resource and control ids shared by the resource script and the code.
// Plain #defines: the resource compiler reads this file too.
#ifndef TREP_RESOURCES_RESOURCE_IDS_H_
#define TREP_RESOURCES_RESOURCE_IDS_H_

// Icons, in this order in the executable: the shell's icon index 2 of
// Trep.exe is kIconSegmentFile, which the file-type association names.
#define kIconProgram 500      // the program: main window, notices, about box
#define kIconJoin 501         // a rebuilt file: the pieces put back together
#define kIconSegmentFile 502  // a segment file (NAME0001.trp ...)

// The main window's template is the named resource "MAINDIALOG"; its control
// ids are in planning/control_ids.h.

// The notice dialog: template 1601, whose message field has the same id.
#define kNoticeDialog 1601
#define kNoticeMessage 1601

// The wizard's four pages, in the order the sheet shows them.
#define kWizardFilePage 1112
#define kWizardMethodPage 1113
#define kWizardDestinationPage 1114
#define kWizardOptionsPage 1115

// The about box of the main window's "About".
#define kAboutDialog 1700
#define kAboutVersion 1701  // the line with the name and version

#endif  // TREP_RESOURCES_RESOURCE_IDS_H_
