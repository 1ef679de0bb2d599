#include "dialogs/choosers.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "planning/destination.h"
#include "platform/win32/wide.h"

namespace trep {

int chooseFile(HWND owner, PathText& path) {
  // The dialog edits the caller's path in place; it is copied back only on
  // confirmation, so a cancel leaves it exactly as it was. Room for any
  // path the record holds: 599 characters take at most 1198 UTF-16 units.
  wchar_t buffer[PathText::kMaxLength * 2 + 1] = {};
  std::wstring current = widen(path.view());
  std::memcpy(buffer, current.data(), current.size() * sizeof(wchar_t));

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleW(nullptr);
  ofn.lpstrFilter = L"All Files\0*.*\0Trep Files\0*.Trp\0";
  ofn.nFilterIndex = 0;  // the first entry, "All Files"
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = sizeof(buffer) / sizeof(buffer[0]);
  ofn.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
              OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameW(&ofn)) return 0;
  buffer[sizeof(buffer) / sizeof(buffer[0]) - 1] = L'\0';
  // A path too long for the record is never cut to another: it is dropped,
  // and the analysis of the empty path says to pick a valid file.
  std::string chosen = narrow(buffer);
  path = PathText::fits(chosen) ? chosen : std::string();
  return 1;
}

int browseForFolder(HWND owner, std::string* folder) {
  wchar_t display[MAX_PATH] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = display;
  info.lpszTitle = L"Select Output Folder:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
  LPITEMIDLIST items = SHBrowseForFolderW(&info);
  if (items == nullptr) return 0;
  wchar_t path[MAX_PATH] = {};
  BOOL ok = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  if (!ok) return 0;  // not a file-system folder: as if cancelled
  *folder = narrow(path);
  return 1;
}

void chooseOutputFolder(PlanningContext& p, HWND window) {
  std::string folder;
  if (browseForFolder(window, &folder) != 1 || p.job.sourceValid != 1) return;
  p.controls.setText(CTL_OUTPUT_FOLDER, folder);
  applyDestination(p);
}

}  // namespace trep
