// Win32 services: kernel32, user32 and shell32 called as the program's
// behaviour names them, always the W functions: paths and texts go to the
// system as UTF-16 and come back as UTF-8 (wide.h). A failure's reason is
// the system's text for GetLastError (FormatMessageW), without its final
// period and line end.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace trep {
namespace {

// Failures that trying again cannot mend by itself: no permission (also a
// folder where a file should go), a write-protected medium, a name the
// system does not take or that is too long, a file too large for the file
// system, a move to another drive.
bool isLasting(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: case ERROR_FILENAME_EXCED_RANGE: case ERROR_DIRECTORY:
    case ERROR_FILE_TOO_LARGE: case ERROR_NOT_SAME_DEVICE: case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_CANT_RESOLVE_FILENAME:
      return true;
    default:
      return false;
  }
}

uint64_t fromFileTime(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// A failed call on `path`; `error` is GetLastError, read before any other call.
Status win32Error(const std::string& path, DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = n != 0 && text != nullptr ? narrow(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.'))
    reason.pop_back();
  if (reason.empty()) reason = "Error " + std::to_string(error);
  Status failed = Status::failure(path, std::move(reason), error, isLasting(error));
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
             ? failed.markedInUse()
             : failed;
}

FILETIME toFileTime(uint64_t v) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(v & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return t;
}

class Win32File : public File {
 public:
  Win32File(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
  ~Win32File() override { CloseHandle(h_); }

  Status read(void* buffer, uint32_t n, uint32_t* done) override {
    DWORD got = 0;
    BOOL ok = ReadFile(h_, buffer, n, &got, nullptr);
    *done = got;
    return result(ok);
  }

  Status write(const void* buffer, uint32_t n, uint32_t* done) override {
    DWORD put = 0;
    BOOL ok = WriteFile(h_, buffer, n, &put, nullptr);
    *done = put;
    return result(ok);
  }

  Status seek(uint64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return result(SetFilePointerEx(h_, to, nullptr, FILE_BEGIN));
  }

  Status tell(uint64_t* offset) override {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(h_, zero, &at, FILE_CURRENT)) return result(FALSE);
    *offset = static_cast<uint64_t>(at.QuadPart);
    return Status();
  }

  Status size(uint64_t* bytes) override {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(h_, &s)) return result(FALSE);
    *bytes = static_cast<uint64_t>(s.QuadPart);
    return Status();
  }

  Status sync() override { return result(FlushFileBuffers(h_)); }

  Status getTimes(FileTimes* times) override {
    FILETIME c, a, w;
    if (!GetFileTime(h_, &c, &a, &w)) return result(FALSE);
    times->creation = fromFileTime(c);
    times->lastAccess = fromFileTime(a);
    times->lastWrite = fromFileTime(w);
    return Status();
  }

  Status setTimes(const FileTimes& times) override {
    FILETIME c = toFileTime(times.creation);
    FILETIME a = toFileTime(times.lastAccess);
    FILETIME w = toFileTime(times.lastWrite);
    return result(SetFileTime(h_, &c, &a, &w));
  }

 private:
  // Called straight after the system call whose BOOL it is given.
  Status result(BOOL ok) const {
    if (ok) return Status();
    return win32Error(path_, GetLastError());
  }

  HANDLE h_;
  std::string path_;
};

class Win32Platform : public Platform {
 public:
  std::unique_ptr<File> openFile(const std::string& path, FileAccess access,
                                 FileShare share, FileCreate create,
                                 uint32_t attributes, Status* why) override {
    DWORD desired = 0;
    switch (access) {
      case FileAccess::kRead: desired = GENERIC_READ; break;
      case FileAccess::kWrite: desired = GENERIC_WRITE; break;
      case FileAccess::kReadWrite: desired = GENERIC_READ | GENERIC_WRITE; break;
    }
    DWORD shareMode = share == FileShare::kRead ? FILE_SHARE_READ : 0;
    DWORD disposition =
        create == FileCreate::kCreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
    DWORD flags = create == FileCreate::kCreateAlways
                      ? (attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes)
                      : FILE_ATTRIBUTE_NORMAL;
    if (create == FileCreate::kOpenTemporary) flags |= FILE_FLAG_DELETE_ON_CLOSE;
    HANDLE h = CreateFileW(widen(path).c_str(), desired, shareMode, nullptr,
                           disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (why != nullptr) *why = win32Error(path, error);
      return nullptr;
    }
    if (!isDiskFile(h, path, why)) return nullptr;
    return std::make_unique<Win32File>(h, path);
  }

  uint32_t fileAttributes(const std::string& path) override {
    return GetFileAttributesW(widen(path).c_str());
  }

  Status replaceFile(const std::string& from, const std::string& to) override {
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return Status();
    return win32Error(to, GetLastError());
  }

  // --- Files a job makes: a hidden temporary beside the final name,
  // renamed over it when complete. Never through a link: CREATE_NEW meets
  // a link as a taken name, and MoveFileExW replaces a link itself (Wine's
  // DeleteFileW and CREATE_ALWAYS would reach a link's target instead). ---
  std::unique_ptr<File> createTemporaryFor(const std::string& path, std::string* temporary,
                                           Status* why) override {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = folder + ".trep-" + randomLetters();
      HANDLE h = CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        *temporary = name;
        return std::make_unique<Win32File>(h, path);
      }
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    if (why != nullptr) *why = win32Error(path, error);
    return nullptr;
  }

  Status setAttributes(const std::string& path, uint32_t attributes) override {
    if (SetFileAttributesW(widen(path).c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes))
      return Status();
    return win32Error(path, GetLastError());
  }

  bool nameTaken(const std::string& path) override {
    DWORD a = GetFileAttributesW(widen(path).c_str());
    if (a != INVALID_FILE_ATTRIBUTES)
      return (a & FILE_ATTRIBUTE_DIRECTORY) == 0 || (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (GetLastError() != ERROR_FILE_NOT_FOUND || !underWine()) return false;
    // Wine shows a link whose target is missing neither to GetFileAttributes
    // nor in a folder's listing; only an exclusive create meets it.
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);  // nothing was there; the probe is gone again
      return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  }

  Status deleteFile(const std::string& path) override {
    if (DeleteFileW(widen(path).c_str())) return Status();
    return win32Error(path, GetLastError());
  }

  bool sameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identify(a, &ia) && identify(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  }

  std::string temporaryName() override {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return "";
    if (GetTempFileNameW(folder, widen(kProgramFile).c_str(), 0, name) == 0) return "";
    return narrow(name);
  }

  Status createFolder(const std::string& path) override {
    if (CreateDirectoryW(widen(path).c_str(), nullptr)) return Status();
    return win32Error(path, GetLastError());
  }

  bool folderExists(const std::string& path) override {
    DWORD a = GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  // Every entry is compared here rather than letting FindFirstFileW match
  // the name: that would also match short 8.3 aliases and take ? and * as
  // wildcards.
  std::string findNameIgnoringCase(const std::string& folder, const std::string& name) override {
    std::string pattern = folder.empty() ? "*" : folder + "\\*";
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(widen(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string found;
    do {
      std::string entry = narrow(data.cFileName);
      if (sameNameIgnoringCase(entry, name) && (found.empty() || entry < found))
        found = entry;
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return found;
  }

  void* allocateZeroed(uint64_t bytes) override {
    if (bytes == 0 || bytes > static_cast<uint64_t>(SIZE_MAX)) return nullptr;
    return GlobalAlloc(GPTR, static_cast<SIZE_T>(bytes));
  }

  void release(void* block) override {
    if (block != nullptr) GlobalFree(block);
  }

  uint64_t totalPhysicalMemory() override {
    MEMORYSTATUSEX m;
    m.dwLength = sizeof(m);
    if (!GlobalMemoryStatusEx(&m)) return 0;
    return m.ullTotalPhys;
  }

  std::string programFolder() override {
    wchar_t found[MAX_PATH + 1];
    wchar_t* filePart = nullptr;
    DWORD n = SearchPathW(nullptr, widen(kProgramFile).c_str(), nullptr, MAX_PATH + 1, found,
                          &filePart);
    if (n == 0 || n > MAX_PATH) return "";
    std::string path = narrow(found, n);
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
  }

  bool isRemovableDrive(const std::string& path) override {
    std::string root(firstCharacters(path, 3));
    return GetDriveTypeW(widen(root).c_str()) == DRIVE_REMOVABLE;
  }

  std::string desktopFolder() override { return specialFolder(CSIDL_DESKTOPDIRECTORY); }
  std::string appDataFolder() override { return specialFolder(CSIDL_APPDATA); }

  uint32_t enablePrivilege(const std::string& name, bool enable) override {
    OSVERSIONINFOW v;
    v.dwOSVersionInfoSize = sizeof(v);
    if (GetVersionExW(&v) && v.dwPlatformId != VER_PLATFORM_WIN32_NT) return 1;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &token))
      return 0;
    TOKEN_PRIVILEGES tp;
    if (!LookupPrivilegeValueW(nullptr, widen(name).c_str(), &tp.Privileges[0].Luid)) {
      CloseHandle(token);
      return 0;
    }
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    AdjustTokenPrivileges(token, FALSE, &tp, sizeof(tp), nullptr, nullptr);
    DWORD error = GetLastError();
    CloseHandle(token);
    return error == ERROR_NOT_ALL_ASSIGNED ? 0 : 1;
  }

  bool tryInstanceLock(const std::string& name) override {
    if (mutex_ != nullptr) return true;
    HANDLE m = CreateMutexW(nullptr, FALSE, widen(name).c_str());
    if (m == nullptr) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(m);
      return false;
    }
    mutex_ = m;  // held until the process ends, never released explicitly
    return true;
  }

  void sleepMs(uint32_t ms) override { Sleep(ms); }

  void openReadMe() override {
    std::string path = programFolder() + "ReadMe.htm";
    ShellExecuteW(nullptr, nullptr, widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  void showMessageBox(const std::string& text, const std::string& caption) override {
    MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), MB_OK);
  }

 private:
  static bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = CreateFileW(widen(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok != FALSE;
  }

  // Only files on a disk are read or written: a pipe, the console or a
  // device name, which have no file information, is closed again and
  // refused. (Not GetFileType: under Wine it marks the file as read,
  // changing its last-access time, which a split records.)
  static bool isDiskFile(HANDLE h, const std::string& path, Status* why) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) return true;
    CloseHandle(h);
    if (why != nullptr) *why = Status::failure(path, "Not a regular file", 0, true);
    return false;
  }

  static bool underWine() {
    static const bool wine =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
  }

  // Six letters and digits for a unique name; CREATE_NEW makes it unique,
  // the mixing only keeps tries few.
  static std::string randomLetters() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static LONG counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = static_cast<uint64_t>(now.QuadPart) ^
                 (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                 static_cast<uint64_t>(InterlockedIncrement(&counter)) * 0x9E3779B97F4A7C15ULL;
    std::string s;
    for (int i = 0; i < 6; ++i) {
      x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      s += kLetters[(x >> 33) % 36];
    }
    return s;
  }

  static std::string specialFolder(int csidl) {
    wchar_t path[MAX_PATH + 1] = {0};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return "";
    return narrow(path);
  }

  HANDLE mutex_ = nullptr;
};

}  // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace trep
