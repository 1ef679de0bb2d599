#include <gtest/gtest.h>

#include "platform/platform.h"
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

}  // namespace
}  // namespace trep
