#include <windows.h>

#include "platform/folder_listing.h"

namespace trep {

std::vector<std::string> listFolder(const std::string& folder, std::size_t limit) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    names.emplace_back(found.cFileName);
  } while (names.size() < limit && FindNextFileA(h, &found));
  FindClose(h);
  return names;
}

}  // namespace trep
