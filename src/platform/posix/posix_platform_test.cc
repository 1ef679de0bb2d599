#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::TempDir;
using testing::writeBytes;

TEST(PosixPlatformTest, AttributesFromModeAndName) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("plain"), {1});
  writeBytes(dir.file(".hidden"), {1});
  writeBytes(dir.file("locked"), {1});
  chmod(dir.file("locked").c_str(), 0444);
  EXPECT_EQ(platform->fileAttributes(dir.file("plain")), 0x20u);
  EXPECT_EQ(platform->fileAttributes(dir.file(".hidden")), 0x22u);
  EXPECT_EQ(platform->fileAttributes(dir.file("locked")), 0x21u);
  EXPECT_EQ(platform->fileAttributes(dir.path()), 0x10u);
  EXPECT_EQ(platform->fileAttributes(dir.file("missing")), kInvalidAttributes);
}

TEST(PosixPlatformTest, TimesAreWindowsFileTimes) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("t"), {1});
  // 2001-09-09 01:46:40 UTC = 1,000,000,000 s after 1970.
  timeval tv[2] = {{1000000000, 0}, {1000000000, 500000}};
  ASSERT_EQ(utimes(dir.file("t").c_str(), tv), 0);
  auto f = platform->openFile(dir.file("t"), FileAccess::kRead, FileShare::kRead,
                              FileCreate::kOpenExisting);
  ASSERT_TRUE(f);
  FileTimes times;
  ASSERT_TRUE(f->getTimes(&times));
  EXPECT_EQ(times.lastAccess, (11644473600ull + 1000000000ull) * 10000000ull);
  EXPECT_EQ(times.lastWrite, (11644473600ull + 1000000000ull) * 10000000ull + 5000000ull);
  EXPECT_NE(times.creation, 0u);
  f.reset();  // a reader would keep the writer out

  FileTimes set;
  set.lastAccess = 130000000000000000ull;
  set.lastWrite = 130000000001234567ull;
  auto w = platform->openFile(dir.file("t"), FileAccess::kWrite, FileShare::kNone,
                              FileCreate::kOpenExisting);
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->setTimes(set));
  FileTimes back;
  ASSERT_TRUE(w->getTimes(&back));
  EXPECT_EQ(back.lastAccess, set.lastAccess);
  EXPECT_EQ(back.lastWrite, set.lastWrite);
}

TEST(PosixPlatformTest, OpensWithoutSharingExcludeEachOther) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("f"), {1, 2, 3});
  auto a = platform->openFile(dir.file("f"), FileAccess::kRead, FileShare::kRead,
                              FileCreate::kOpenExisting);
  auto b = platform->openFile(dir.file("f"), FileAccess::kRead, FileShare::kRead,
                              FileCreate::kOpenExisting);
  EXPECT_TRUE(a && b);  // readers together
  EXPECT_FALSE(platform->openFile(dir.file("f"), FileAccess::kReadWrite, FileShare::kNone,
                                  FileCreate::kCreateAlways));
  EXPECT_EQ(testing::readBytes(dir.file("f")).size(), 3u);  // not emptied by the refused open
  a.reset();
  b.reset();
  auto c = platform->openFile(dir.file("f"), FileAccess::kReadWrite, FileShare::kNone,
                              FileCreate::kCreateAlways);
  ASSERT_TRUE(c);
  EXPECT_EQ(testing::readBytes(dir.file("f")).size(), 0u);
  EXPECT_FALSE(platform->openFile(dir.file("f"), FileAccess::kRead, FileShare::kRead,
                                  FileCreate::kOpenExisting));
}

TEST(PosixPlatformTest, CreatingWithReadOnlyAttributeRemovesWritePermission) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  {
    auto f = platform->openFile(dir.file("ro"), FileAccess::kWrite, FileShare::kNone,
                                FileCreate::kCreateAlways, kAttributeReadOnly | kAttributeArchive);
    ASSERT_TRUE(f);
    uint32_t put = 0;
    EXPECT_TRUE(f->write("abc", 3, &put));  // the open handle still writes
  }
  struct stat st;
  ASSERT_EQ(stat(dir.file("ro").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(platform->fileAttributes(dir.file("ro")) & kAttributeReadOnly, kAttributeReadOnly);
}

TEST(PosixPlatformTest, FoldersOneLevelAtATime) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  EXPECT_FALSE(platform->createFolder(dir.file("a/b")));
  EXPECT_TRUE(platform->createFolder(dir.file("a")));
  EXPECT_FALSE(platform->createFolder(dir.file("a")));  // exists
  EXPECT_TRUE(platform->folderExists(dir.file("a")));
  EXPECT_FALSE(platform->folderExists(dir.file("missing")));
}

TEST(PosixPlatformTest, AWriteToAFullDeviceSaysSo) {
  auto platform = makeSystemPlatform();
  auto f = platform->openFile("/dev/full", FileAccess::kWrite, FileShare::kNone,
                              FileCreate::kOpenExisting);
  ASSERT_TRUE(f);
  uint32_t put = 0;
  Status s = f->write("abc", 3, &put);
  EXPECT_EQ(s.toString(), "/dev/full: No space left on device");
  EXPECT_EQ(s.code(), static_cast<uint32_t>(ENOSPC));
  EXPECT_EQ(put, 0u);
}

TEST(PosixPlatformTest, DesktopAndApplicationDataFolders) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  std::string saveHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", dir.path().c_str(), 1);
  unsetenv("XDG_DESKTOP_DIR");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform->desktopFolder(), dir.path());
  platform->createFolder(dir.file("Desktop"));
  EXPECT_EQ(platform->desktopFolder(), dir.file("Desktop"));
  setenv("XDG_DESKTOP_DIR", "/somewhere/desk/", 1);
  EXPECT_EQ(platform->desktopFolder(), "/somewhere/desk");
  EXPECT_EQ(platform->appDataFolder(), dir.file(".config"));
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(platform->appDataFolder(), "/cfg");
  unsetenv("XDG_DESKTOP_DIR");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", saveHome.c_str(), 1);
}

// Without HOME (a service, a cron job, env -u HOME) the home folder is the
// user's entry in the password database, never the root of the file system.
TEST(PosixPlatformTest, WithoutHomeThePasswordDatabaseNamesTheHome) {
  auto platform = makeSystemPlatform();
  const char* saved = getenv("HOME");
  std::string saveHome = saved != nullptr ? saved : "";
  unsetenv("HOME");
  unsetenv("XDG_DESKTOP_DIR");
  unsetenv("XDG_CONFIG_HOME");
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  std::string home = entry->pw_dir;
  ASSERT_NE(home, "/") << "this test wants a user whose home is not the root";
  std::string desktop = platform->desktopFolder();
  EXPECT_TRUE(desktop == home || desktop == home + "/Desktop") << desktop;
  EXPECT_EQ(platform->appDataFolder(), home + "/.config");
  setenv("HOME", "", 1);  // empty counts as none
  EXPECT_EQ(platform->appDataFolder(), home + "/.config");
  if (saved != nullptr) {
    setenv("HOME", saveHome.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
}

// Where names differ only in letter case (a POSIX folder may hold both), the
// one that sorts first is taken; letters beyond A-Z are not folded.
TEST(PosixPlatformTest, NamesDifferingInCaseOnly) {
  TempDir dir;
  writeBytes(dir.file("data0001.TRP"), {1});
  writeBytes(dir.file("DATA0001.trp"), {2});
  writeBytes(dir.file("\xC3\x89t\xC3\xA9" "0001.trp"), {3});  // Été0001.trp in UTF-8
  auto platform = makeSystemPlatform();
  EXPECT_EQ(platform->findNameIgnoringCase(dir.path(), "Data0001.trp"), "DATA0001.trp");
  EXPECT_EQ(platform->findNameIgnoringCase(dir.path(), "\xC3\xA9T\xC3\xA9" "0001.TRP"), "");
  EXPECT_EQ(platform->findNameIgnoringCase(dir.path(), "\xC3\x89T\xC3\xA9" "0001.TRP"),
            "\xC3\x89t\xC3\xA9" "0001.trp");
  // An empty folder is the current one.
  const std::string before = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(platform->findNameIgnoringCase("", "data0001.trp"), "DATA0001.trp");
  std::filesystem::current_path(before);
}

}  // namespace
}  // namespace trep
