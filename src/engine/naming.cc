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

}  // namespace trep
