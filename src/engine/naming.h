// Text rules for names and paths of a series.
#ifndef TREP_ENGINE_NAMING_H_
#define TREP_ENGINE_NAMING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"  // kWindowsFileNames

namespace trep {

// The last component of a path: drop one trailing separator; if what is left
// has a separator and more than 2 characters, the text after the last one,
// when that is longer than one character. Otherwise the path unchanged
// (so C:\dir\ gives dir and C:\a gives C:\a).
std::string fileNameOf(std::string_view path);

// The text after the last separator, whatever its length: the name used for
// a file whose name is a single character, where fileNameOf keeps the path.
std::string lastComponentOf(std::string_view path);

// The name a split records for its source: fileNameOf, or for a file whose
// name is one character, that character (fileNameOf keeps the whole path).
// Always valid UTF-8: a name that is not is read as Windows-1252, so the
// segment names, the named folder, the header and UnTrep.bat agree and no
// name the split makes is invalid.
std::string originalNameOf(std::string_view sourcePath);

// A name longer than `room` cut before its extension, so that a file of that
// name can be made at all: an extension of up to 16 characters (the dot
// included) is kept when it leaves room for the rest. Lengths are counted as
// the system counts them (systemLength); only whole characters are kept. A
// name that fits is returned unchanged.
std::string cutBeforeExtension(std::string_view name, std::size_t room);

// n in decimal, zeros added on the left up to `width` digits.
std::string zeroPadded(uint32_t n, unsigned width);

// The four-character stem of the segment names of a split of `originalName`:
// append "XXX", replace spaces among the first four characters by "X", keep
// four. "my file.bin" gives "myXf", "ab" gives "abXX", "日本語.bin" gives
// "日本語." (characters, never bytes).
std::string splitBaseName(std::string_view originalName);

// prefix + four-digit n + ".trp", where prefix is folder, separator and base.
std::string segmentPath(std::string_view prefix, uint32_t n);

// A series' prefix (folder, separator, base name) as the folder to list
// and the base name; "." for a prefix without a folder.
void splitPrefix(const std::string& prefix, std::string* folder, std::string* base);

// Segment n of the series read from `prefix` (folder, separator and base)
// + four digits + `extension` (".trp" in the letter case of the segment the
// user chose; empty stands for ".trp"), spelt as its folder holds it: that
// name when it exists, else an entry of the folder whose name differs from
// it in letter case only (a series copied off a medium that wrote capitals:
// DATA0001.TRP beside a chosen data0002.trp), else that name.
std::string findSegmentPath(Platform& platform, std::string_view prefix,
                            std::string_view extension, uint32_t n);

// True for the names Windows opens as devices (CON, NUL, COM1, LPT1.txt, ...).
bool isDeviceName(std::string_view name);

// True for a name that a Windows folder cannot hold: one with a character of
// ? * : < > | " \ / or a control character (1 to 31), or one that ends in a
// dot or a blank (Windows would drop them and make another name).
bool windowsCannotHold(std::string_view name);

// The name a rebuilt file may take from a header, which anyone can write:
// only its last path component (after any "\", "/" or ":"); an empty name,
// one of only dots and blanks, or a device name gives `fallback`, the
// series' base name; a name longer than 255 bytes is cut before its
// extension. With `windowsNames`, a name that windowsCannotHold gives
// `fallback` too; elsewhere such a name is kept as recorded, since the
// system can make it.
std::string safeOriginalName(std::string_view recorded, std::string_view fallback,
                             bool windowsNames = kWindowsFileNames);

}  // namespace trep

#endif  // TREP_ENGINE_NAMING_H_
