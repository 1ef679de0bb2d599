#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

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

// A write the system refuses says why: here past the largest file this
// process may write (RLIMIT_FSIZE), which no retry can mend.
TEST(PosixPlatformTest, AWriteTheSystemRefusesSaysWhy) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  auto f = platform->openFile(dir.file("limited"), FileAccess::kWrite, FileShare::kNone,
                              FileCreate::kCreateAlways);
  ASSERT_TRUE(f);
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limit = saved;
  limit.rlim_cur = 2;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);  // the refusal, not the signal
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  uint32_t put = 0;
  Status s = f->write("abc", 3, &put);  // 2 bytes fit; the third is refused
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(s.toString(), dir.file("limited") + ": File too large");
  EXPECT_EQ(s.code(), static_cast<uint32_t>(EFBIG));
  EXPECT_TRUE(s.lasting());
  EXPECT_EQ(put, 2u);
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

// Only regular files are opened: anything else is refused at once, before
// a pipe could keep the open waiting for a writer, with a reason that no
// retry can mend.
TEST(PosixPlatformTest, OnlyRegularFilesAreOpened) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink("pipe", dir.file("to-pipe").c_str()), 0);
  struct Case {
    std::string path;
    FileAccess access;
    FileCreate create;
    std::string reason;
  };
  const Case cases[] = {
      {dir.file("pipe"), FileAccess::kRead, FileCreate::kOpenExisting, "Not a regular file"},
      {dir.file("to-pipe"), FileAccess::kRead, FileCreate::kOpenExisting, "Not a regular file"},
      {dir.file("pipe"), FileAccess::kReadWrite, FileCreate::kOpenTemporary, "Not a regular file"},
      {dir.file("pipe"), FileAccess::kWrite, FileCreate::kOpenExisting, "Not a regular file"},
      {"/dev/null", FileAccess::kRead, FileCreate::kOpenExisting, "Not a regular file"},
      {"/dev/zero", FileAccess::kRead, FileCreate::kOpenExisting, "Not a regular file"},
      {dir.path(), FileAccess::kRead, FileCreate::kOpenExisting, "Is a directory"},
      {dir.path(), FileAccess::kWrite, FileCreate::kCreateAlways, "Is a directory"},
  };
  for (const Case& c : cases) {
    Status why;
    EXPECT_FALSE(platform->openFile(c.path, c.access, FileShare::kRead, c.create,
                                    kAttributeNormal, &why)) << c.path;
    EXPECT_EQ(why.toString(), c.path + ": " + c.reason);
    EXPECT_TRUE(why.lasting()) << c.path;
  }
  struct stat st;
  EXPECT_EQ(lstat(dir.file("pipe").c_str(), &st), 0);  // the refused pipe stays
  // A missing file may yet come (a medium put in): not lasting.
  Status missing;
  EXPECT_FALSE(platform->openFile(dir.file("missing"), FileAccess::kRead, FileShare::kRead,
                                  FileCreate::kOpenExisting, kAttributeNormal, &missing));
  EXPECT_EQ(missing.code(), static_cast<uint32_t>(ENOENT));
  EXPECT_FALSE(missing.lasting());
  Status tooLong;
  EXPECT_FALSE(platform->openFile(dir.file(std::string(300, 'n')), FileAccess::kRead,
                                  FileShare::kRead, FileCreate::kOpenExisting, kAttributeNormal,
                                  &tooLong));
  EXPECT_EQ(tooLong.code(), static_cast<uint32_t>(ENAMETOOLONG));
  EXPECT_TRUE(tooLong.lasting());
}

// Replacing a file never goes through a link or into a pipe: the link (or
// the pipe) is replaced itself, whatever it led to stays as it was, and a
// link whose target is missing does not make that target.
TEST(PosixPlatformTest, ReplacingNeverGoesThroughALink) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("victim"), {'v'});
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("never").c_str(), dir.file("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  writeBytes(dir.file("shared"), {'s'});
  ASSERT_EQ(link(dir.file("shared").c_str(), dir.file("hard").c_str()), 0);
  for (const char* name : {"link", "dangling", "pipe", "hard"}) {
    auto f = platform->openFile(dir.file(name), FileAccess::kWrite, FileShare::kNone,
                                FileCreate::kCreateAlways);
    ASSERT_TRUE(f) << name;
    uint32_t put = 0;
    ASSERT_TRUE(f->write("new", 3, &put)) << name;
    f.reset();
    struct stat st;
    ASSERT_EQ(lstat(dir.file(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    EXPECT_EQ(st.st_nlink, 1u) << name;
    EXPECT_EQ(testing::readBytes(dir.file(name)), (std::vector<uint8_t>{'n', 'e', 'w'})) << name;
  }
  EXPECT_EQ(testing::readBytes(dir.file("victim")), std::vector<uint8_t>{'v'});
  EXPECT_EQ(testing::readBytes(dir.file("shared")), std::vector<uint8_t>{'s'});
  EXPECT_FALSE(testing::fileExists(dir.file("never")));
}

// The files a job makes: a hidden, unique temporary file beside the final
// name, which then replaces whatever has that name, a link itself.
TEST(PosixPlatformTest, TemporaryFileBecomesItsNameReplacingALinkItself) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("victim"), {'v'});
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("data.bin").c_str()), 0);
  const std::string path = dir.file("data.bin");
  std::string first, second;
  auto a = platform->createTemporaryFor(path, &first);
  auto b = platform->createTemporaryFor(path, &second);
  ASSERT_TRUE(a && b);
  EXPECT_NE(first, second);
  for (const std::string& t : {first, second}) {
    EXPECT_EQ(t.rfind(dir.path() + "/.trep-", 0), 0u) << t;
    EXPECT_EQ(t.size(), dir.path().size() + 1 + 12) << t;
  }
  uint32_t put = 0;
  ASSERT_TRUE(a->write("rebuilt", 7, &put));
  a.reset();
  b.reset();
  ASSERT_TRUE(platform->deleteFile(second));
  ASSERT_TRUE(platform->replaceFile(first, path));
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(testing::readBytes(path).size(), 7u);
  EXPECT_EQ(testing::readBytes(dir.file("victim")), std::vector<uint8_t>{'v'});
  EXPECT_EQ(testing::namesIn(dir.path()), (std::vector<std::string>{"data.bin", "victim"}));

  // Failures name the file to be made, not the temporary one.
  Status why;
  EXPECT_FALSE(platform->createTemporaryFor(dir.file("missing/x.bin"), &first, &why));
  EXPECT_EQ(why.path(), dir.file("missing/x.bin"));
  EXPECT_EQ(why.code(), static_cast<uint32_t>(ENOENT));
  auto c = platform->createTemporaryFor(path, &first);
  ASSERT_TRUE(c);
  rlimit saved, limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit = saved;
  limit.rlim_cur = 1;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  Status refused = c->write("ab", 2, &put);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(refused.path(), path);
}

TEST(PosixPlatformTest, NameTakenByAnythingButAFolder) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("file"), {1});
  ASSERT_EQ(symlink("nowhere", dir.file("dangling").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), dir.file("to-folder").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  ASSERT_TRUE(platform->createFolder(dir.file("folder")));
  EXPECT_TRUE(platform->nameTaken(dir.file("file")));
  EXPECT_TRUE(platform->nameTaken(dir.file("dangling")));
  EXPECT_TRUE(platform->nameTaken(dir.file("to-folder")));
  EXPECT_TRUE(platform->nameTaken(dir.file("pipe")));
  EXPECT_FALSE(platform->nameTaken(dir.file("folder")));
  EXPECT_FALSE(platform->nameTaken(dir.file("missing")));
}

TEST(PosixPlatformTest, ReadOnlyAttributeSetAndCleared) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("f"), {1});
  chmod(dir.file("f").c_str(), 0664);
  struct stat st;
  ASSERT_TRUE(platform->setAttributes(dir.file("f"), kAttributeReadOnly | kAttributeArchive));
  ASSERT_EQ(stat(dir.file("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  ASSERT_TRUE(platform->setAttributes(dir.file("f"), kAttributeNormal));
  ASSERT_EQ(stat(dir.file("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // Never through a link.
  ASSERT_EQ(symlink(dir.file("f").c_str(), dir.file("link").c_str()), 0);
  EXPECT_FALSE(platform->setAttributes(dir.file("link"), kAttributeReadOnly));
  ASSERT_EQ(stat(dir.file("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The instance lock is never taken through a link: a link in its place
// leaves its target unmade (and the program runs without the lock).
TEST(PosixPlatformTest, InstanceLockNeverGoesThroughALink) {
  TempDir dir;
  std::string saved = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("Trep.exe.lock").c_str()), 0);
  auto platform = makeSystemPlatform();
  EXPECT_TRUE(platform->tryInstanceLock("Trep.exe"));
  EXPECT_FALSE(testing::fileExists(dir.file("elsewhere")));
  if (saved.empty()) unsetenv("XDG_RUNTIME_DIR"); else setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace trep
