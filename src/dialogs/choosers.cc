#include "dialogs/choosers.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "planning/destination.h"

namespace trep {

int chooseFile(HWND owner, PathText& path) {
  // The dialog edits the caller's path in place; it is copied back only on
  // confirmation, so a cancel leaves it exactly as it was.
  char buffer[PathText::kMaxLength + 1] = {};
  std::string current = path.str();
  std::memcpy(buffer, current.data(), current.size());  // at most 599 bytes

  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleA(nullptr);
  ofn.lpstrFilter = "All Files\0*.*\0Trep Files\0*.Trp\0";
  ofn.nFilterIndex = 0;  // the first entry, "All Files"
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = sizeof(buffer);
  ofn.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
              OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&ofn)) return 0;
  buffer[sizeof(buffer) - 1] = '\0';
  path = std::string(buffer);
  return 1;
}

int browseForFolder(HWND owner, std::string* folder) {
  char display[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = display;
  info.lpszTitle = "Select Output Folder:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
  LPITEMIDLIST items = SHBrowseForFolderA(&info);
  if (items == nullptr) return 0;
  char path[MAX_PATH] = {};
  BOOL ok = SHGetPathFromIDListA(items, path);
  CoTaskMemFree(items);
  if (!ok) return 0;  // not a file-system folder: as if cancelled
  *folder = path;
  return 1;
}

void chooseOutputFolder(PlanningContext& p, HWND window) {
  std::string folder;
  if (browseForFolder(window, &folder) != 1 || p.job.sourceValid != 1) return;
  p.controls.setText(CTL_OUTPUT_FOLDER, folder);
  applyDestination(p);
}

}  // namespace trep
