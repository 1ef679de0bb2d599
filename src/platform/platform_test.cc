// The system platform's failures carry the path and the system's reason: the
// cases a user meets (a missing file, a folder where a file should be, a file
// another open holds, a file opened the wrong way), on both systems.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/status.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::TempDir;
using testing::nativePath;
using testing::writeBytes;

Status openForReading(Platform& platform, const std::string& path) {
  Status why;
  std::unique_ptr<File> f = platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                                              FileCreate::kOpenExisting, kAttributeNormal, &why);
  EXPECT_EQ(f == nullptr, !why.ok()) << path;
  return why;
}

// Windows' codes (GetLastError) of the cases below.
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kNegativeSeek = 131;
constexpr uint32_t kAlreadyExists = 183;

struct FailureCase {
  const char* what;
  // Runs the failing call in a folder holding the file "f" (3 bytes) and
  // the folder "d"; returns its result.
  std::function<Status(Platform&, const TempDir&)> call;
  const char* path;         // the path named, below the folder (backslashes)
  const char* posixReason;  // strerror's text, or the platform's own
  uint32_t win32Code;
};

const FailureCase kFailureCases[] = {
    {"opening a missing file",
     [](Platform& p, const TempDir& d) { return openForReading(p, d.file("missing")); },
     "missing", "No such file or directory", kFileNotFound},
    {"opening a file in a missing folder",
     [](Platform& p, const TempDir& d) { return openForReading(p, d.file(nativePath("no\\f"))); },
     "no\\f", "No such file or directory", kPathNotFound},
    {"opening a folder as a file",
     [](Platform& p, const TempDir& d) { return openForReading(p, d.file("d")); },
     "d", "Is a directory", kAccessDenied},
    {"creating a file another open holds",
     [](Platform& p, const TempDir& d) {
       auto holder = p.openFile(d.file("f"), FileAccess::kRead, FileShare::kRead,
                                FileCreate::kOpenExisting);
       Status why;
       auto f = p.openFile(d.file("f"), FileAccess::kWrite, FileShare::kNone,
                           FileCreate::kCreateAlways, kAttributeNormal, &why);
       return why;
     },
     "f", "Locked by another process", kSharingViolation},
    {"writing to a file opened for reading",
     [](Platform& p, const TempDir& d) {
       auto f = p.openFile(d.file("f"), FileAccess::kRead, FileShare::kRead,
                           FileCreate::kOpenExisting);
       uint32_t put = 0;
       return f->write("abc", 3, &put);
     },
     "f", "Bad file descriptor", kAccessDenied},
    {"reading from a file opened for writing",
     [](Platform& p, const TempDir& d) {
       auto f = p.openFile(d.file("f"), FileAccess::kWrite, FileShare::kNone,
                           FileCreate::kOpenExisting);
       char buffer[3];
       uint32_t got = 0;
       return f->read(buffer, 3, &got);
     },
     "f", "Bad file descriptor", kAccessDenied},
    {"seeking past the largest position",
     [](Platform& p, const TempDir& d) {
       auto f = p.openFile(d.file("f"), FileAccess::kRead, FileShare::kRead,
                           FileCreate::kOpenExisting);
       return f->seek(uint64_t{1} << 63);
     },
     "f", "Invalid argument", kNegativeSeek},
    {"creating a folder below a file",
     [](Platform& p, const TempDir& d) { return p.createFolder(d.file(nativePath("f\\sub"))); },
     "f\\sub", "Not a directory", kPathNotFound},
    {"creating a folder that exists",
     [](Platform& p, const TempDir& d) { return p.createFolder(d.file("d")); },
     "d", "File exists", kAlreadyExists},
    {"deleting a missing file",
     [](Platform& p, const TempDir& d) { return p.deleteFile(d.file("missing")); },
     "missing", "No such file or directory", kFileNotFound},
    {"replacing a file by a missing one (named by the file replaced)",
     [](Platform& p, const TempDir& d) { return p.replaceFile(d.file("missing"), d.file("f")); },
     "f", "No such file or directory", kFileNotFound},
};

TEST(PlatformFailureTest, NamesThePathAndTheSystemsReason) {
  for (const FailureCase& c : kFailureCases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    writeBytes(dir.file("f"), {1, 2, 3});
    auto platform = makeSystemPlatform();
    ASSERT_TRUE(platform->createFolder(dir.file("d")));

    Status s = c.call(*platform, dir);
    ASSERT_FALSE(s.ok());
    EXPECT_FALSE(static_cast<bool>(s));
    const std::string path = dir.file(nativePath(c.path));
    EXPECT_EQ(s.path(), path);
#ifdef _WIN32
    EXPECT_EQ(s.code(), c.win32Code);
    // The system's own text, trimmed: never empty, never the fallback, no
    // final period or line end.
    ASSERT_FALSE(s.reason().empty());
    EXPECT_NE(s.reason(), "Error " + std::to_string(c.win32Code));
    EXPECT_EQ(std::string(".\r\n ").find(s.reason().back()), std::string::npos) << s.reason();
#else
    EXPECT_EQ(s.reason(), c.posixReason);
#endif
    EXPECT_EQ(s.toString(), path + ": " + s.reason());
  }
}

TEST(PlatformFailureTest, SuccessIsOkWithNothingToSay) {
  TempDir dir;
  writeBytes(dir.file("f"), {1, 2, 3});
  auto platform = makeSystemPlatform();
  Status why = Status::failure("earlier", "untouched");
  auto f = platform->openFile(dir.file("f"), FileAccess::kReadWrite, FileShare::kNone,
                              FileCreate::kOpenExisting, kAttributeNormal, &why);
  ASSERT_TRUE(f);
  EXPECT_EQ(why.toString(), "earlier: untouched");  // only a failure sets it
  char buffer[3];
  uint32_t done = 0;
  Status read = f->read(buffer, 3, &done);
  EXPECT_TRUE(read.ok());
  EXPECT_TRUE(static_cast<bool>(read));
  EXPECT_EQ(read.path(), "");
  EXPECT_EQ(read.reason(), "");
  EXPECT_EQ(read.code(), 0u);
  EXPECT_EQ(read.toString(), "");
  EXPECT_TRUE(f->read(buffer, 3, &done).ok());  // at the end: a short count, no failure
  EXPECT_EQ(done, 0u);
}

}  // namespace
}  // namespace trep

namespace trep {
namespace {

// A name is found as its folder spells it, whatever case it was asked in;
// only the letters A-Z are folded, and only whole names match.
TEST(PlatformNamesTest, FindNameIgnoringCase) {
  TempDir dir;
  writeBytes(dir.file("DATA0001.TRP"), {1});
  writeBytes(dir.file("Data0002.trp"), {2});
  auto platform = makeSystemPlatform();
  struct Case {
    const char* asked;
    const char* found;
  } cases[] = {
      {"data0001.trp", "DATA0001.TRP"}, {"DATA0001.TRP", "DATA0001.TRP"},
      {"dAtA0002.TRP", "Data0002.trp"}, {"data0003.trp", ""},
      {"data0001.trp.bak", ""},         {"ata0001.trp", ""},
      {"data000?.trp", ""},             {"*", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform->findNameIgnoringCase(dir.path(), c.asked), c.found) << c.asked;
  EXPECT_EQ(platform->findNameIgnoringCase(dir.file("missing"), "data0001.trp"), "");
}

}  // namespace
}  // namespace trep

namespace trep {
namespace {

// What one raise on a thread of its own shares with the test. Kept alive
// by the thread too: a raise that hangs leaves it behind, not dangling.
using testing::FunctionAnswerer;

struct NoticeRun {
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  std::mutex mutex;
  std::vector<std::string> shown;
  std::promise<uint32_t> result;
  std::promise<void> opened;  // the answerer of "held" is waiting
  std::promise<void> release;
  std::unique_ptr<FunctionAnswerer> answerer;
  void show(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    shown.push_back(text);
  }
};

// Raises a notice on a thread of its own; the answer arrives in the future.
std::future<uint32_t> raiseOnThread(const std::shared_ptr<NoticeRun>& run, const char* message,
                                    std::promise<uint32_t>* result) {
  std::future<uint32_t> answer = result->get_future();
  std::thread([run, message, result] {
    result->set_value(raiseNotice(*run->platform, message, kOk, kAbortProcedure));
  }).detach();
  return answer;
}

// A notice raised by the thread whose notice is open (a window command
// handled inside the first notice's message loop) opens at once above it;
// another thread's notice waits until the open one is answered. The raises
// run on threads of their own under a guard: one that waited for itself
// would hang, so the test fails instead and leaves the thread behind.
TEST(PlatformNoticeTest, ASecondNoticeOnTheSameThreadNeverWaitsForTheFirst) {
  auto run = std::make_shared<NoticeRun>();
  NoticeRun* r = run.get();
  r->answerer = std::make_unique<FunctionAnswerer>([r](const NoticeParameters& n) -> uint32_t {
    r->show(n.message + (r->platform->noticeOpen() ? " (open)" : ""));
    if (n.message != "first") return kUpperButton;
    // Raised from inside the first notice, on its thread.
    return raiseNotice(*r->platform, "second", kOk, kAbortProcedure) == kUpperButton
               ? kLowerButton
               : kUpperButton;
  });
  r->platform->setNoticeAnswerer(r->answerer.get());
  std::future<uint32_t> outer = raiseOnThread(run, "first", &r->result);
  ASSERT_EQ(outer.wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "the second notice waited for the first, which only its own thread can answer";
  EXPECT_EQ(outer.get(), kLowerButton);  // the second was answered with the upper button
  EXPECT_FALSE(r->platform->noticeOpen());
  EXPECT_EQ(r->shown, (std::vector<std::string>{"first (open)", "second (open)"}));
}

TEST(PlatformNoticeTest, AnotherThreadsNoticeWaitsForTheOpenOne) {
  auto run = std::make_shared<NoticeRun>();
  NoticeRun* r = run.get();
  std::shared_future<void> released = r->release.get_future().share();
  r->answerer =
      std::make_unique<FunctionAnswerer>([r, released](const NoticeParameters& n) -> uint32_t {
        r->show(n.message);
        if (n.message == "held") {
          r->opened.set_value();
          released.wait();
        }
        return kUpperButton;
      });
  r->platform->setNoticeAnswerer(r->answerer.get());
  std::future<uint32_t> held = raiseOnThread(run, "held", &r->result);
  ASSERT_EQ(r->opened.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  auto second = std::make_shared<std::promise<uint32_t>>();
  std::future<uint32_t> waiting = second->get_future();
  std::thread([run, second] {
    second->set_value(raiseNotice(*run->platform, "waiting", kOk, kOpenReadMe));
  }).detach();
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "a notice of another thread opened while one was open";
  r->release.set_value();
  ASSERT_EQ(held.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(r->shown, (std::vector<std::string>{"held", "waiting"}));
}

}  // namespace
}  // namespace trep
