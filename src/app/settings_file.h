// "dTrep.dat": the user's options between runs.
//
//   file offset size content
//             0    8 magic "TREP1600" (not checked on load)
//             8   50 options block, little-endian 32-bit fields:
//                      0 wizardAtStart    4 rebuildMethod   8 destinationMode
//                     12 useCrc          16 useDescription 20 alwaysOnTop
//                     24 memoryOption    28 sizeMode       32 wizardRunning
//                     36 sliderMax       40 reserved: 48 and 3 as 32-bit
//                                           values
//                     48 recoveryFiles, 16 bits (0..9999): 0 in a file
//                        from before there were recovery files
#ifndef TREP_APP_SETTINGS_FILE_H_
#define TREP_APP_SETTINGS_FILE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

constexpr std::size_t kSettingsFileSize = 58;
constexpr std::size_t kSettingsBlockSize = 50;
inline constexpr char kSettingsFileName[] = "dTrep.dat";

// The options when no file can be opened.
PersistedSettings defaultSettings();

// The block's fields from up to 50 bytes; fields the bytes do not reach are
// 0 (a short file does not bring back the defaults).
PersistedSettings decodeSettingsBlock(const uint8_t* bytes, std::size_t available);

// The whole 58-byte file.
std::array<uint8_t, kSettingsFileSize> encodeSettingsFile(const PersistedSettings& s);

// Forces the four checked fields and recoveryFiles into range and clears
// wizardRunning.
void checkSettings(PersistedSettings* s);

// Reads userDataFolder + "dTrep.dat" (which may be a relative name when the
// folder is empty), or takes the defaults; then applies the checks. Only a
// regular file is read. The result is ok when the file was read or is not
// there; otherwise it says why a file of that name was not read (the
// defaults are then in force).
Status loadSettings(Platform& platform, const std::string& userDataFolder,
                    PersistedSettings* s);

// Writes the file under a temporary name beside its final place and moves
// it over the old one, so a crash mid-save never leaves a damaged settings
// file, and a link of that name is replaced itself, never written through.
// False when it could not be written; nothing is reported to the user.
bool saveSettings(Platform& platform, const std::string& userDataFolder,
                  const PersistedSettings& s);

}  // namespace trep

#endif  // TREP_APP_SETTINGS_FILE_H_
