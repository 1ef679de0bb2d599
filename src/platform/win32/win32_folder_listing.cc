#include <windows.h>

#include "platform/folder_listing.h"
#include "platform/win32/wide.h"

namespace trep {

std::vector<std::string> listFolder(const std::string& folder, std::size_t limit) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(widen(folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    names.push_back(narrow(found.cFileName));
  } while (names.size() < limit && FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

}  // namespace trep
