#include "platform/win32/message_box_answerer.h"

#include <windows.h>

#include <string>

namespace trep {
namespace {

// user32's MessageBoxTimeoutA: not in the import libraries, found at run time.
using MessageBoxTimeoutFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT, WORD, DWORD);
constexpr int kTimedOut = 32000;

}  // namespace

uint32_t MessageBoxAnswerer::answer(const NoticeParameters& notice) {
  std::string text = notice.message + "\r\n\r\nYes:  " + notice.firstButton +
                     "\r\nNo:   " + notice.secondButton;
  UINT style = MB_YESNO | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND;
  int r = 0;
  auto timeoutFn = reinterpret_cast<MessageBoxTimeoutFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxTimeoutA")));
  if (notice.timeoutSeconds != 0 && timeoutFn != nullptr)
    r = timeoutFn(nullptr, text.c_str(), "Trep 1.6", style, 0, notice.timeoutSeconds * 1000);
  else
    r = MessageBoxA(nullptr, text.c_str(), "Trep 1.6", style);
  if (r == IDYES || r == kTimedOut) return kUpperButton;
  if (r == IDNO) return kLowerButton;
  return safeAnswer(notice);  // no box could be shown: nobody can answer
}

}  // namespace trep
