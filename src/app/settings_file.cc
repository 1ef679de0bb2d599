#include "app/settings_file.h"

#include <cstring>

#include "engine/segment_format.h"

namespace trep {
namespace {

constexpr std::size_t kFieldCount = 10;
constexpr std::size_t kRecoveryFilesOffset = 48;  // in the block: its last two bytes

// The block's ten fields in file order, as their stored 32-bit values.
std::array<uint32_t, kFieldCount> fieldsOf(const PersistedSettings& s) {
  return {s.wizardAtStart,          codeValue(s.rebuildMethod), codeValue(s.destinationMode),
          s.useCrc,                 s.useDescription,           s.alwaysOnTop,
          codeValue(s.memoryOption), codeValue(s.sizeMode),     s.wizardRunning,
          s.sliderMax};
}

// Any stored value is kept as it is here; checkSettings brings the codes
// into range.
PersistedSettings settingsOf(const std::array<uint32_t, kFieldCount>& f) {
  PersistedSettings s;
  s.wizardAtStart = f[0];
  s.rebuildMethod = static_cast<RebuildMethod>(f[1]);
  s.destinationMode = static_cast<DestinationMode>(f[2]);
  s.useCrc = f[3];
  s.useDescription = f[4];
  s.alwaysOnTop = f[5];
  s.memoryOption = static_cast<MemoryOption>(f[6]);
  s.sizeMode = static_cast<SizeMode>(f[7]);
  s.wizardRunning = f[8];
  s.sliderMax = f[9];
  return s;
}

}  // namespace

PersistedSettings defaultSettings() {
  PersistedSettings s;
  s.wizardAtStart = 0;
  s.rebuildMethod = RebuildMethod::kTrep;
  s.sizeMode = SizeMode::kFast;
  s.destinationMode = DestinationMode::kNamedFolder;
  s.memoryOption = MemoryOption::kHalf;
  s.useCrc = 1;
  s.alwaysOnTop = 0;
  return s;
}

PersistedSettings decodeSettingsBlock(const uint8_t* bytes, std::size_t available) {
  uint8_t block[kSettingsBlockSize] = {0};
  std::memcpy(block, bytes, available < kSettingsBlockSize ? available : kSettingsBlockSize);
  std::array<uint32_t, kFieldCount> fields;
  for (std::size_t i = 0; i < kFieldCount; ++i) fields[i] = getLe32(block + 4 * i);
  PersistedSettings s = settingsOf(fields);
  s.recoveryFiles = block[kRecoveryFilesOffset] | block[kRecoveryFilesOffset + 1] << 8;
  return s;
}

std::array<uint8_t, kSettingsFileSize> encodeSettingsFile(const PersistedSettings& s) {
  std::array<uint8_t, kSettingsFileSize> file{};
  std::memcpy(file.data(), kMagic, kMagicSize);
  const std::array<uint32_t, kFieldCount> fields = fieldsOf(s);
  for (std::size_t i = 0; i < kFieldCount; ++i) putLe32(&file[kMagicSize + 4 * i], fields[i]);
  putLe32(&file[kMagicSize + 40], 48);
  putLe32(&file[kMagicSize + 44], 3);
  putLe16(&file[kMagicSize + kRecoveryFilesOffset], s.recoveryFiles);
  return file;
}

void checkSettings(PersistedSettings* s) {
  // A stored Multi-Removable (1) stays: the list shows it, though a choice
  // of it is kept as Folder.
  if (codeValue(s->destinationMode) > codeValue(DestinationMode::kSameAsSource))
    s->destinationMode = DestinationMode::kNamedFolder;
  if (codeValue(s->memoryOption) > codeValue(MemoryOption::kHalf))
    s->memoryOption = MemoryOption::kHalf;
  if (codeValue(s->rebuildMethod) > codeValue(RebuildMethod::kBatFile))
    s->rebuildMethod = RebuildMethod::kTrep;
  if (codeValue(s->sizeMode) > codeValue(SizeMode::kSize)) s->sizeMode = SizeMode::kFast;
  if (s->recoveryFiles > kMaxSegments) s->recoveryFiles = 0;
  s->wizardRunning = 0;  // no wizard is open at start-up
}

Status loadSettings(Platform& platform, const std::string& userDataFolder,
                    PersistedSettings* s) {
  const std::string path = userDataFolder + kSettingsFileName;
  Status why;
  std::unique_ptr<File> file = platform.openFile(path, FileAccess::kRead, FileShare::kNone,
                                                 FileCreate::kOpenExisting, kAttributeNormal, &why);
  if (!file) {
    *s = defaultSettings();
    if (platform.fileAttributes(path) == kInvalidAttributes) why = Status();  // none yet
  } else {
    uint8_t block[kSettingsBlockSize] = {0};
    uint32_t got = 0;
    if (!file->seek(kMagicSize) || !file->read(block, kSettingsBlockSize, &got)) got = 0;
    *s = decodeSettingsBlock(block, got);
  }
  checkSettings(s);
  return why;
}

bool saveSettings(Platform& platform, const std::string& userDataFolder,
                  const PersistedSettings& s) {
  const std::string path = userDataFolder + kSettingsFileName;
  std::string temporary;
  auto bytes = encodeSettingsFile(s);
  bool written = false;
  {
    std::unique_ptr<File> file = platform.createTemporaryFor(path, &temporary);
    if (!file) return false;
    uint32_t put = 0;
    written = file->write(bytes.data(), kSettingsFileSize, &put) && put == kSettingsFileSize;
  }
  // The temporary file is hidden (Win32); the settings file is not.
  if (written && platform.setAttributes(temporary, kAttributeNormal) &&
      platform.replaceFile(temporary, path))
    return true;
  platform.deleteFile(temporary);
  return false;
}

}  // namespace trep
