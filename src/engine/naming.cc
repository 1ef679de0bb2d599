#include "engine/naming.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace trep {

std::string fileNameOf(std::string_view path) {
  std::string copy(path);
  if (!copy.empty() && copy.back() == kPathSeparator) copy.pop_back();
  std::size_t last = copy.rfind(kPathSeparator);
  if (last != std::string::npos && characterCount(copy) > 2) {
    std::string candidate = copy.substr(last + 1);
    if (characterCount(candidate) > 1) return candidate;
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
  // Everything the split makes from the name is valid UTF-8: a name the
  // system gave in another encoding is read as Windows-1252 here, once.
  return utf8TextOf(name);
}

std::string cutBeforeExtension(std::string_view name, std::size_t room) {
  if (systemLength(name) <= room) return std::string(name);
  std::size_t dot = name.rfind('.');
  std::string_view extension =
      dot != std::string_view::npos && characterCount(name.substr(dot)) <= 16 ? name.substr(dot)
                                                                               : "";
  if (systemLength(extension) >= room) extension = "";
  // The stem: whole characters, as many as the room left by the extension takes.
  const std::size_t stemRoom = room - systemLength(extension);
  std::size_t used = 0;
  std::size_t end = 0;
  while (end < name.size()) {
    std::size_t next = characterEnd(name, end);
    std::size_t units = systemLength(name.substr(end, next - end));
    if (used + units > stemRoom) break;
    used += units;
    end = next;
  }
  return std::string(name.substr(0, end)) + std::string(extension);
}

std::string zeroPadded(uint32_t n, unsigned width) {
  std::string digits = std::to_string(n);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string splitBaseName(std::string_view originalName) {
  // Four characters, not bytes: a name in any script gives whole characters.
  std::string base(firstCharacters(originalName, 4));
  base.append(4 - characterCount(base), 'X');  // an empty name still gives four
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

constexpr std::size_t kLongestName = 255;

bool isDeviceName(std::string_view name) {
  // Windows opens these as devices whatever the extension: CON, PRN, AUX,
  // NUL, COM1 to COM9, LPT1 to LPT9 ("LPT1.txt" too), trailing blanks ignored.
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& ch : stem)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool windowsCannotHold(std::string_view name) {
  for (char ch : name) {
    auto u = static_cast<unsigned char>(ch);
    if (u < 32 || std::strchr("?*:<>|\"\\/", ch) != nullptr) return true;
  }
  return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

std::string safeOriginalName(std::string_view recorded, std::string_view fallback,
                             bool windowsNames) {
  std::size_t cut = recorded.find_last_of("\\/:");
  std::string_view name = cut == std::string_view::npos ? recorded : recorded.substr(cut + 1);
  // Only dots and blanks: no name at all once Windows drops trailing dots.
  if (name.find_first_not_of(". ") == std::string_view::npos || isDeviceName(name))
    return std::string(fallback);
  // File systems take names of at most 255 bytes (POSIX) or UTF-16 units
  // (Windows): cut a longer one before its extension, so the rebuilt file
  // can be made at all.
  std::string kept = cutBeforeExtension(name, kLongestName);
  if (windowsNames && windowsCannotHold(kept)) return std::string(fallback);
  return kept;
}

void splitPrefix(const std::string& prefix, std::string* folder, std::string* base) {
  const std::size_t cut = prefix.rfind(kPathSeparator);
  if (cut == std::string::npos) {
    *folder = ".";
    *base = prefix;
  } else {
    *folder = cut == 0 ? prefix.substr(0, 1) : prefix.substr(0, cut);
    *base = prefix.substr(cut + 1);
  }
}

}  // namespace trep
