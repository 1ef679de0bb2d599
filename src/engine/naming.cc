#include "engine/naming.h"

#include "platform/platform.h"

namespace trep {

std::string fileNameOf(std::string_view path) {
  std::string copy(path);
  if (!copy.empty() && copy.back() == kPathSeparator) copy.pop_back();
  std::size_t last = copy.rfind(kPathSeparator);
  if (last != std::string::npos && copy.size() > 2) {
    std::string candidate = copy.substr(last + 1);
    if (candidate.size() > 1) return candidate;
  }
  return std::string(path);
}

std::string lastComponentOf(std::string_view path) {
  std::size_t last = path.rfind(kPathSeparator);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

std::string originalNameOf(std::string_view sourcePath) {
  std::string name = fileNameOf(sourcePath);
  if (name.find(kPathSeparator) != std::string::npos) name = lastComponentOf(sourcePath);
  return name;
}

std::string cutBeforeExtension(std::string_view name, std::size_t room) {
  if (name.size() <= room) return std::string(name);
  std::size_t dot = name.rfind('.');
  std::string_view extension =
      dot != std::string_view::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
  if (extension.size() >= room) extension = "";
  return std::string(name.substr(0, room - extension.size())) + std::string(extension);
}

std::string zeroPadded(uint32_t n, unsigned width) {
  std::string digits = std::to_string(n);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string splitBaseName(std::string_view originalName) {
  std::string base(originalName);
  base += "XXX";
  base.resize(4, 'X');  // an empty name still gives four characters
  for (char& c : base)
    if (c == ' ') c = 'X';
  return base;
}

std::string segmentPath(std::string_view prefix, uint32_t n) {
  std::string path(prefix);
  path += zeroPadded(n, 4);
  path += ".trp";
  return path;
}

std::string findSegmentPath(Platform& platform, std::string_view prefix,
                            std::string_view extension, uint32_t n) {
  std::string path(prefix);
  path += zeroPadded(n, 4);
  path += extension.empty() ? std::string_view(".trp") : extension;
  if (platform.fileAttributes(path) != kInvalidAttributes) return path;
#ifdef _WIN32
  std::size_t cut = path.find_last_of("\\/");
#else
  std::size_t cut = path.rfind('/');
#endif
  std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  // The folder's own name keeps its separator ("/" is the root); none at
  // all is the current folder.
  std::string listed = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
  std::string found = platform.findNameIgnoringCase(listed, name);
  return found.empty() ? path : folder + found;
}

}  // namespace trep
