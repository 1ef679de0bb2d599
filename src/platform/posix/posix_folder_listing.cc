#include <dirent.h>
#include <sys/stat.h>

#include "platform/folder_listing.h"

namespace trep {

std::vector<std::string> listFolder(const std::string& folder, std::size_t limit) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (names.size() < limit) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::lstat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    names.push_back(std::move(name));
  }
  ::closedir(dir);
  return names;
}

}  // namespace trep
