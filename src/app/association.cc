#include "app/association.h"

#include <shellapi.h>

#include "platform/program_texts.h"
#include "platform/win32/wide.h"

namespace trep {

void setRegistryString(HKEY root, const std::string& key, const char* name,
                       const std::string& text) {
  // Wide values: a program folder in any script is written as it is.
  HKEY opened = nullptr;
  if (RegCreateKeyExW(root, widen(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS)
    return;
  const std::wstring value = widen(text);
  RegSetValueExW(opened, name == nullptr ? nullptr : widen(name).c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
}

std::string openCommandFor(const std::string& programFolder) {
  return "\"" + programFolder + kProgramFile + "\" \"%1\"";
}

void setAssociation(const std::string& programFolder) {
  // Both paths quoted: the program's, so that Windows never takes the part
  // before a blank ("C:\Program Files (x86)\...") for a program to run, and
  // the file's, so that blanks in it survive.
  const std::string program = programFolder + kProgramFile;
  const std::string openCommand = openCommandFor(programFolder);
  const std::string iconReference = program + ",2";  // icon group 502, the segment file

  const std::string application = "Applications\\Trep.exe";
  setRegistryString(HKEY_CLASSES_ROOT, application + "\\shell", nullptr, "UnTrep");
  setRegistryString(HKEY_LOCAL_MACHINE,
                    "Software\\Applications\\Trep.exe\\shell\\UnTrep\\Command", nullptr,
                    openCommand);
  setRegistryString(HKEY_CLASSES_ROOT, application + "\\shell\\UnTrep\\Command", nullptr,
                    openCommand);
  setRegistryString(HKEY_CLASSES_ROOT, ".trp", nullptr, "Trep");
  setRegistryString(HKEY_CLASSES_ROOT, "Trep\\shell\\UnTrep\\Command", nullptr, openCommand);
  setRegistryString(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.trp",
                    "Application", kProgramFile);
  setRegistryString(HKEY_CLASSES_ROOT, "Trep\\DefaultIcon", nullptr, iconReference);
  setRegistryString(HKEY_CLASSES_ROOT, application + "\\DefaultIcon", nullptr, iconReference);
}

bool restartElevated(HWND mainWindow, const std::string& programFolder) {
  const std::string program = programFolder + kProgramFile;
  HINSTANCE r = ShellExecuteW(mainWindow, L"runas", widen(program).c_str(), nullptr, nullptr,
                              SW_SHOWDEFAULT);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

}  // namespace trep
