// Makes Trep.exe the shell's handler of ".trp" segment files, so that
// opening one starts the program with the file as its first argument.
#ifndef TREP_APP_ASSOCIATION_H_
#define TREP_APP_ASSOCIATION_H_

#include <windows.h>

#include <string>

namespace trep {

// Opens (creating it and its parents when missing) the key and sets the
// string value; `name` null sets the key's default value. Failures are not
// reported: the remaining entries are still written.
void setRegistryString(HKEY root, const std::string& key, const char* name,
                       const std::string& text);

// The shell's open command for segment files: the program's path and the
// file's, each quoted ("C:\Program Files\Trep\Trep.exe" "%1").
std::string openCommandFor(const std::string& programFolder);

// Writes the eight entries of the association for the program in
// `programFolder` (with its trailing separator). Writing them again with the
// same folder changes nothing.
void setAssociation(const std::string& programFolder);

// Starts the program again with the "runas" verb (the system asks the user to
// elevate it). True when the shell started it: the caller then closes its
// window without saving settings.
bool restartElevated(HWND mainWindow, const std::string& programFolder);

}  // namespace trep

#endif  // TREP_APP_ASSOCIATION_H_
