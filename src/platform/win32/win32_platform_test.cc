#include <gtest/gtest.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::TempDir;
using testing::writeBytes;

TEST(Win32PlatformTest, SharingModesAndTimes) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  writeBytes(dir.file("f"), {1, 2, 3});
  auto a = platform->openFile(dir.file("f"), FileAccess::kRead, FileShare::kRead,
                              FileCreate::kOpenExisting);
  ASSERT_TRUE(a);
  EXPECT_FALSE(platform->openFile(dir.file("f"), FileAccess::kReadWrite, FileShare::kNone,
                                  FileCreate::kCreateAlways));
  a.reset();
  auto w = platform->openFile(dir.file("f"), FileAccess::kReadWrite, FileShare::kNone,
                              FileCreate::kOpenExisting);
  ASSERT_TRUE(w);
  FileTimes set;
  set.creation = 120000000000000000ull;
  set.lastAccess = 130000000000000000ull;
  set.lastWrite = 130000000001234567ull;
  ASSERT_TRUE(w->setTimes(set));
  FileTimes back;
  ASSERT_TRUE(w->getTimes(&back));
  EXPECT_EQ(back.lastWrite, set.lastWrite);
  EXPECT_EQ(back.lastAccess, set.lastAccess);  // Wine on Linux cannot keep a creation time
  uint64_t size = 0;
  ASSERT_TRUE(w->size(&size));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(platform->fileAttributes(dir.file("missing")), kInvalidAttributes);
  EXPECT_TRUE(platform->createFolder(dir.file("sub")));
  EXPECT_TRUE(platform->folderExists(dir.file("sub")));
  EXPECT_FALSE(platform->createFolder(dir.file("x\\y")));
}

// Every call takes a name in any script and the system holds it as that
// name: each file made through the platform is found again by its wide name,
// written here as the compiler writes it, not by the program's conversion.
TEST(Win32PlatformTest, NamesInAnyScript) {
  TempDir dir;
  auto platform = makeSystemPlatform();
  struct Case {
    const char* name;
    const wchar_t* wide;
  } cases[] = {
      {"résumé.doc", L"résumé.doc"},
      {"Ωmega 🎬.mkv", L"Ωmega 🎬.mkv"},
      {"日本語の資料.bin", L"日本語の資料.bin"},
  };
  const std::wstring base = widen(dir.path());
  for (const Case& c : cases) {
    const std::string folder = dir.file(std::string("in ") + c.name);
    ASSERT_TRUE(platform->createFolder(folder)) << c.name;
    EXPECT_TRUE(platform->folderExists(folder)) << c.name;
    const std::string path = folder + "\\" + c.name;
    auto f = platform->openFile(path, FileAccess::kWrite, FileShare::kNone,
                                FileCreate::kCreateAlways);
    ASSERT_TRUE(f) << c.name;
    uint32_t done = 0;
    ASSERT_TRUE(f->write("abc", 3, &done));
    f.reset();
    const std::wstring wide = base + L"\\in " + c.wide + L"\\" + c.wide;
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
    EXPECT_NE(platform->fileAttributes(path), kInvalidAttributes) << c.name;

    const std::string moved = folder + "\\moved " + c.name;
    ASSERT_TRUE(platform->replaceFile(path, moved)) << c.name;
    EXPECT_EQ(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
    EXPECT_TRUE(platform->openFile(moved, FileAccess::kRead, FileShare::kRead,
                                   FileCreate::kOpenExisting))
        << c.name;
    EXPECT_TRUE(platform->sameFile(moved, moved)) << c.name;

    // A failure names the path as given, with the system's reason.
    Status why;
    EXPECT_FALSE(platform->openFile(path, FileAccess::kRead, FileShare::kRead,
                                    FileCreate::kOpenExisting, kAttributeNormal, &why));
    EXPECT_EQ(why.path(), path);
    EXPECT_FALSE(why.reason().empty());
    EXPECT_TRUE(isValidUtf8(why.reason()));
    EXPECT_TRUE(platform->deleteFile(moved)) << c.name;
  }
}

TEST(Win32PlatformTest, WideTextBothWays) {
  EXPECT_EQ(widen("aé日🎬"), std::wstring(L"aé日🎬"));
  EXPECT_EQ(narrow(L"aé日🎬"), "aé日🎬");
  const wchar_t lone[] = {L'x', 0xD800, L'y', 0};
  EXPECT_EQ(widen(narrow(lone)), std::wstring(lone));
}

}  // namespace
}  // namespace trep
