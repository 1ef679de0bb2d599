#include "app/settings_file.h"

#include <cstring>

#include "engine/segment_format.h"

namespace trep {
namespace {

uint32_t* fieldAt(PersistedSettings& s, std::size_t index) {
  uint32_t* fields[] = {&s.wizardAtStart, &s.rebuildMethod, &s.destinationMode,
                        &s.useCrc,        &s.useDescription, &s.alwaysOnTop,
                        &s.memoryOption,  &s.sizeMode,      &s.wizardRunning,
                        &s.sliderMax};
  return fields[index];
}

constexpr std::size_t kFieldCount = 10;

}  // namespace

PersistedSettings defaultSettings() {
  PersistedSettings s;
  s.wizardAtStart = 0;
  s.rebuildMethod = 0;
  s.sizeMode = 0;
  s.destinationMode = 2;
  s.memoryOption = 2;
  s.useCrc = 1;
  s.alwaysOnTop = 0;
  return s;
}

PersistedSettings decodeSettingsBlock(const uint8_t* bytes, std::size_t available) {
  uint8_t block[kSettingsBlockSize] = {0};
  std::memcpy(block, bytes, available < kSettingsBlockSize ? available : kSettingsBlockSize);
  PersistedSettings s;
  for (std::size_t i = 0; i < kFieldCount; ++i) *fieldAt(s, i) = getLe32(block + 4 * i);
  return s;
}

std::array<uint8_t, kSettingsFileSize> encodeSettingsFile(const PersistedSettings& s) {
  std::array<uint8_t, kSettingsFileSize> file{};
  std::memcpy(file.data(), kMagic, kMagicSize);
  PersistedSettings copy = s;
  for (std::size_t i = 0; i < kFieldCount; ++i)
    putLe32(&file[kMagicSize + 4 * i], *fieldAt(copy, i));
  putLe32(&file[kMagicSize + 40], 48);
  putLe32(&file[kMagicSize + 44], 3);
  return file;
}

void checkSettings(PersistedSettings* s) {
  if (s->destinationMode > 3) s->destinationMode = 2;
  if (s->memoryOption > 2) s->memoryOption = 2;
  if (s->rebuildMethod > 1) s->rebuildMethod = 0;
  if (s->sizeMode > 2) s->sizeMode = 0;
  s->wizardRunning = 0;  // no wizard is open at start-up
}

void loadSettings(Platform& platform, const std::string& userDataFolder,
                  PersistedSettings* s) {
  std::unique_ptr<File> file =
      platform.openFile(userDataFolder + kSettingsFileName, FileAccess::kRead,
                        FileShare::kNone, FileCreate::kOpenExisting);
  if (!file) {
    *s = defaultSettings();
  } else {
    uint8_t block[kSettingsBlockSize] = {0};
    uint32_t got = 0;
    if (!file->seek(kMagicSize) || !file->read(block, kSettingsBlockSize, &got)) got = 0;
    *s = decodeSettingsBlock(block, got);
  }
  checkSettings(s);
}

bool saveSettings(Platform& platform, const std::string& userDataFolder,
                  const PersistedSettings& s) {
  const std::string path = userDataFolder + kSettingsFileName;
  const std::string temporary = path + ".new";
  auto bytes = encodeSettingsFile(s);
  bool written = false;
  {
    std::unique_ptr<File> file = platform.openFile(
        temporary, FileAccess::kWrite, FileShare::kNone, FileCreate::kCreateAlways);
    uint32_t put = 0;
    written = file && file->write(bytes.data(), kSettingsFileSize, &put) &&
              put == kSettingsFileSize;
  }
  if (written && platform.replaceFile(temporary, path)) return true;
  platform.deleteFile(temporary);
  return false;
}

}  // namespace trep
