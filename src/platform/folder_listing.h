// The names of the files in one folder, for finding the recovery files that
// lie beside a series (their names are not fixed: other programs number the
// volumes their own way).
#ifndef TREP_PLATFORM_FOLDER_LISTING_H_
#define TREP_PLATFORM_FOLDER_LISTING_H_

#include <string>
#include <vector>

namespace trep {

// Names (no folder) of the plain files directly in `folder`, in no
// particular order; folders and links are left out (Win32: FindFirstFileA,
// reparse points left out; POSIX: readdir and lstat). At most `limit`
// names; empty when the folder cannot be read.
std::vector<std::string> listFolder(const std::string& folder, std::size_t limit = 100000);

}  // namespace trep

#endif  // TREP_PLATFORM_FOLDER_LISTING_H_
