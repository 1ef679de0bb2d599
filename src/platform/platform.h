// The services everything above the platform calls: files, folders, memory,
// system facts, the single-instance lock and notices. One object is made by
// the program's entry and passed down; tests substitute their own.
//
// Win32 maps each call onto kernel32/user32/shell32 as named beside it; POSIX
// onto the nearest equivalent (see posix/posix_platform.cc).
#ifndef TREP_PLATFORM_PLATFORM_H_
#define TREP_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/notice.h"
#include "platform/program_texts.h"
#include "platform/status.h"
#include "platform/text_encoding.h"

namespace trep {

// kWindowsFileNames: a folder cannot hold names with ? * : < > | " or
// control characters, nor names ending in a dot or a blank.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
constexpr std::size_t kLongestPath = 259;  // MAX_PATH less the terminator
inline constexpr bool kWindowsFileNames = true;
#else
inline constexpr char kPathSeparator = '/';
constexpr std::size_t kLongestPath = 4095;  // PATH_MAX less the terminator
inline constexpr bool kWindowsFileNames = false;
#endif

// Windows reads "/" between the parts of a path as it reads "\\"; this
// program cuts paths at kPathSeparator alone, so a path a user gives (a
// switch, a field, a dropped file) is written with it before anything reads
// it. Elsewhere "/" is the separator already and a path stays as it is.
inline std::string withNativeSeparators(std::string path) {
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// Two names equal when the letters A-Z are taken for a-z, as the file
// systems of Windows compare them; every other byte as it is.
inline bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// The length of a name or path as the system's limits count it: UTF-16
// units on Windows (MAX_PATH, 255 for a name), bytes on POSIX.
inline std::size_t systemLength(std::string_view s) {
#ifdef _WIN32
  return utf16Length(s);
#else
  return s.size();
#endif
}

// Attribute words as Windows defines them; POSIX derives them (see there).
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

enum class FileAccess { kRead, kWrite, kReadWrite };
// kNone: no one else may open the file while it is open (POSIX: an exclusive
// advisory lock). kRead: other readers are allowed (POSIX: a shared lock).
enum class FileShare { kNone, kRead };
// kOpenExisting fails for a missing file; kCreateAlways replaces any file;
// kOpenTemporary opens an existing file that is deleted when it is closed.
// Only regular files are opened: a folder, a pipe or a device at the path
// fails at once ("Not a regular file"), never waiting for a writer. POSIX
// never creates through a link: kCreateAlways replaces a link itself.
enum class FileCreate { kOpenExisting, kCreateAlways, kOpenTemporary };

// Windows file-time values: 100 ns intervals since 1 January 1601 UTC.
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
};

// How a move of bytes between two files inside the system went.
enum class DirectMove {
  kMoved,        // all n bytes moved; both positions advanced by n
  kUnsupported,  // nothing moved, both positions as they were: read and write instead
  kFailed,       // not moved in full (a write error, a short source)
};

// An open file. Counts are 32-bit as the system's calls take them; positions
// and sizes are 64-bit. Every call reports a failure with the file's path and
// the system's reason.
//
// Threads: a File is one thread's at a time (its calls share one position);
// different File objects, also of the same path, may be used from different
// threads at once. The work of several threads that read one file each opens
// it for itself.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at the current position; *done = bytes read. Fewer
  // than n at the end of the file is no failure.
  virtual Status read(void* buffer, uint32_t n, uint32_t* done) = 0;
  // Writes n bytes at the current position; *done = bytes written.
  virtual Status write(const void* buffer, uint32_t n, uint32_t* done) = 0;
  virtual Status seek(uint64_t offset) = 0;
  virtual Status tell(uint64_t* offset) = 0;
  virtual Status size(uint64_t* bytes) = 0;
  virtual Status getTimes(FileTimes* times) = 0;
  // POSIX cannot set a creation time; it sets the other two.
  virtual Status setTimes(const FileTimes& times) = 0;
  // Puts the file's bytes on the medium before returning (POSIX fsync,
  // Win32 FlushFileBuffers): what a job made survives a power cut or a
  // medium pulled once "Finished" shows.
  virtual Status sync() { return Status(); }
  // Moves n bytes from the current position of `source` to the current
  // position of this file without passing them through the caller's memory
  // (Linux: copy_file_range). kUnsupported whenever the system cannot do it
  // for these two files, or the source does not hold n bytes from its
  // position: the caller then reads and writes the same bytes itself, which
  // behaves as a write of n bytes would. *done: bytes moved. On kFailed,
  // *why (when given) holds the reason.
  virtual DirectMove moveFrom(File& source, uint32_t n, uint32_t* done,
                              Status* why = nullptr) {
    (void)source;
    (void)n;
    (void)why;
    *done = 0;
    return DirectMove::kUnsupported;
  }
};

// Threads: openFile (reading or writing, files of their own), the File
// objects it returns (see there), fileAttributes, and allocateZeroed and
// release are safe from several threads at once, in both implementations
// (the system's own calls and the C library's allocator, no state of the
// platform's). Sharing modes hold between threads as between programs: a
// file opened kNone in one thread cannot be opened in another. raiseNotice
// is safe from any thread (one notice at a time, the others wait). Every
// other call belongs to the thread that runs the job. A platform that
// stands in for the system (tests) keeps to the same rules: what it records
// from the calls safe from several threads, it records under a lock or not
// at all.
class Platform {
 public:
  virtual ~Platform() = default;

  // --- Files (CreateFileW, ReadFile, WriteFile, SetFilePointerEx,
  // GetFileSizeEx, GetFileTime/SetFileTime, GetFileAttributesW) ---
  // Returns nullptr when the file cannot be opened, and then sets *why (when
  // given) to the reason. `attributes` applies to a file that kCreateAlways
  // makes.
  virtual std::unique_ptr<File> openFile(const std::string& path,
                                         FileAccess access, FileShare share,
                                         FileCreate create,
                                         uint32_t attributes = kAttributeNormal,
                                         Status* why = nullptr) = 0;
  // kInvalidAttributes when the path does not exist.
  virtual uint32_t fileAttributes(const std::string& path) = 0;
  // Moves `from` over `to` in one step, replacing `to` (MoveFileExW). A
  // link at `to` is replaced itself, never its target. A failure names `to`.
  virtual Status replaceFile(const std::string& from, const std::string& to) = 0;
  // A new, empty file opened for writing, no sharing, that is to become
  // `path` once complete (replaceFile): made exclusively under a unique
  // hidden name in the same folder (".trep-" and six letters or digits;
  // Win32 also sets the hidden attribute), so it never reaches any file
  // through a link. *temporary receives its name. Every failure, of the
  // making and of the file's own calls, names `path`. Null when it cannot
  // be made, with *why (when given) set.
  virtual std::unique_ptr<File> createTemporaryFor(const std::string& path,
                                                   std::string* temporary,
                                                   Status* why = nullptr) = 0;
  // Sets the attribute word (SetFileAttributesW). POSIX applies the
  // read-only bit: without it the owner may write, with it no one may.
  virtual Status setAttributes(const std::string& path, uint32_t attributes) = 0;
  // True when something other than a folder has this name: a file, a link
  // (also one whose target is missing), a pipe, a device. What a new file
  // of that name would replace.
  virtual bool nameTaken(const std::string& path) = 0;
  virtual Status deleteFile(const std::string& path) = 0;
  // Puts the folder's entries (names given by replaceFile) on the medium
  // (POSIX: fsync of the folder; Win32 has no such call for a folder and
  // relies on the file's own flush).
  virtual Status syncFolder(const std::string& path) {
    (void)path;
    return Status();
  }
  // True when both paths name one existing file (same volume and file index).
  virtual bool sameFile(const std::string& a, const std::string& b) = 0;
  // A new, empty file with a unique name in the system's temporary folder,
  // made from the prefix kProgramFile (GetTempFileNameW keeps "Tre"); empty
  // when none can be made.
  virtual std::string temporaryName() = 0;

  // --- Folders (CreateDirectoryW): one level, existing parents required ---
  virtual Status createFolder(const std::string& path) = 0;
  virtual bool folderExists(const std::string& path) = 0;
  // The name, spelt as `folder` holds it, of an entry whose name equals
  // `name` when the letters A-Z are compared without regard to case; empty
  // when there is none. Of several, the one that sorts first byte by byte.
  // An empty `folder` is the current folder. (FindFirstFileA over the
  // folder's entries; POSIX: readdir.)
  virtual std::string findNameIgnoringCase(const std::string& folder,
                                           const std::string& name) = 0;

  // --- Memory (GlobalAlloc with zero fill, GlobalMemoryStatusEx) ---
  // A zero-filled block, or nullptr when it cannot be had.
  virtual void* allocateZeroed(uint64_t bytes) = 0;
  virtual void release(void* block) = 0;
  virtual uint64_t totalPhysicalMemory() = 0;

  // --- System facts ---
  // Folder of the running executable with its trailing separator, or empty
  // (Win32: SearchPathW for kProgramFile).
  virtual std::string programFolder() = 0;
  // GetDriveTypeW(first three characters) == DRIVE_REMOVABLE.
  virtual bool isRemovableDrive(const std::string& path) = 0;
  // SHGetSpecialFolderPathW(CSIDL_DESKTOPDIRECTORY), no separator at the end.
  virtual std::string desktopFolder() = 0;
  // SHGetSpecialFolderPathW(CSIDL_APPDATA), no separator at the end.
  virtual std::string appDataFolder() = 0;
  // 1 when the privilege could be enabled (Win32); 1 for root (POSIX).
  virtual uint32_t enablePrivilege(const std::string& name, bool enable) = 0;

  // --- Single instance (CreateMutexW) ---
  // True when this process now holds the named lock until it ends; false
  // when another process holds it.
  virtual bool tryInstanceLock(const std::string& name) = 0;

  virtual void sleepMs(uint32_t ms) = 0;
  // Opens "ReadMe.htm" in the program folder with the shell's default action.
  virtual void openReadMe() = 0;
  // A plain system message box with one OK button.
  virtual void showMessageBox(const std::string& text,
                              const std::string& caption) = 0;

  // --- Notices ---
  // Result 1: upper button or timeout; 2: lower button. One notice at a time
  // across threads: another thread's notice waits until the open one is
  // answered. The thread that holds the open notice never waits for itself:
  // a window message handled inside the notice's own message loop that
  // raises another one gets it at once, above the first (a wait there could
  // only end when the first is answered, which that same thread must serve).
  uint32_t raiseNotice(const NoticeParameters& notice) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(noticeMutex_, std::defer_lock);
    const bool nested = noticeHolder_.load() == self;
    if (!nested) {
      lock.lock();
      noticeHolder_ = self;
    }
    ++noticesOpen_;
    uint32_t a = answerer_ == nullptr ? safeAnswer(notice) : answerer_->answer(notice);
    --noticesOpen_;
    if (!nested) noticeHolder_ = std::thread::id();
    return a;
  }
  // True while a notice waits for its answer (progress output then pauses).
  bool noticeOpen() const { return noticesOpen_ > 0; }
  void setNoticeAnswerer(NoticeAnswerer* answerer) { answerer_ = answerer; }

 private:
  std::mutex noticeMutex_;
  std::atomic<std::thread::id> noticeHolder_{};  // the thread with the open notice
  NoticeAnswerer* answerer_ = nullptr;
  std::atomic<int> noticesOpen_{0};
};

// The platform of the machine the program runs on.
std::unique_ptr<Platform> makeSystemPlatform();

// Raises a notice of kind 10 with the given texts; returns the answer.
inline uint32_t raiseNotice(Platform& platform, std::string message,
                            std::string first, std::string second,
                            uint32_t timeoutSeconds = 0) {
  NoticeParameters p;
  p.message = std::move(message);
  p.firstButton = std::move(first);
  p.secondButton = std::move(second);
  p.kind = 10;
  p.timeoutSeconds = timeoutSeconds;
  return platform.raiseNotice(p);
}

// Tells of something beside a job that goes on and asks nothing: "OK", or
// "Open ReadMe", which opens the user guide. Informational: the text
// answerer prints it and waits for no answer.
inline void tellInformation(Platform& platform, std::string message) {
  NoticeParameters p;
  p.message = std::move(message);
  p.firstButton = kOk;
  p.secondButton = kOpenReadMe;
  p.informational = true;
  if (platform.raiseNotice(p) == kLowerButton) platform.openReadMe();
}

}  // namespace trep

#endif  // TREP_PLATFORM_PLATFORM_H_
