#include "dialogs/notice_dialog.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

constexpr UINT_PTR kTimeoutTimer = 2;
constexpr int kSmallFontKind = 10;  // kind 10 and above: the message in the small font

std::atomic<uint32_t> gNoticeResult{0};
// The open notices, for dismissNotices: the job's question (one at a time:
// Platform::raiseNotice) and the window's own "Abort the running job?" may be
// open together.
std::mutex gOpenMutex;
std::vector<HWND> gOpenNotices;
std::atomic<bool> gDismissed{false};
constexpr UINT kDismiss = WM_APP + 1;  // close with the safe answer
// Notices open on this thread, the one inside the other's message loop.
thread_local int tOpenHere = 0;
// The window a notice of its thread is owned by when that thread has no
// active window of its own (setNoticeOwner).
std::atomic<HWND> gOwner{nullptr};
WNDPROC gEditProcedure = nullptr;  // the system's edit procedure, under messageFieldProc

// What one open notice holds: its own copy of the texts (so nothing of an
// earlier notice carries over) and the two fonts, which live only while the
// dialog is open.
struct OpenNotice {
  NoticeParameters parameters;
  std::string message;  // with line ends as the edit field wants them
  HFONT largeFont = nullptr;
  HFONT smallFont = nullptr;
};

HFONT arial(int height) {
  return CreateFontA(height, 0, 0, 0, 50, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH, "Arial");
}

// A multi-line edit field breaks lines only at "\r\n".
std::string withCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

// The long message's field, reached by Tab, keeps its caret and scroll
// place: the dialog manager selects the whole text of an edit field it tabs
// into, which puts the caret, and the view, at the message's end.
LRESULT CALLBACK messageFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT r = CallWindowProcW(gEditProcedure, field, message, wParam, lParam);
  if (message == WM_GETDLGCODE) r &= ~static_cast<LRESULT>(DLGC_HASSETSEL);
  return r;
}

// A message longer than its field gets a vertical scroll bar and becomes a
// tab stop, so it can be read to its end, with the keyboard too; a short one
// keeps the plain field. The field is made again with those styles (an edit
// control takes its scroll bar from the style it was made with), in the
// same place, after the buttons in the tab order: the upper button is the
// first control the dialog manager gives the focus to, and the message opens
// at its start with nothing selected. The buttons stay put.
void fitMessage(HWND dialog, HFONT font, const std::string& message) {
  HWND field = GetDlgItem(dialog, kNoticeMessage);
  if (field == nullptr) return;
  const LRESULT lines = SendMessageA(field, EM_GETLINECOUNT, 0, 0);
  RECT format = {};
  SendMessageA(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  TEXTMETRICA metrics = {};
  HDC dc = GetDC(field);
  HGDIOBJ previous = SelectObject(dc, font);
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(field, dc);
  const long lineHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
  if (lines <= (format.bottom - format.top) / lineHeight) return;

  RECT place = {};
  GetWindowRect(field, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  const DWORD style = static_cast<DWORD>(GetWindowLongA(field, GWL_STYLE)) | WS_VSCROLL | WS_TABSTOP;
  const DWORD extended = static_cast<DWORD>(GetWindowLongA(field, GWL_EXSTYLE));
  HWND scrolled = CreateWindowExA(
      extended, "Edit", "", style, place.left, place.top, place.right - place.left,
      place.bottom - place.top, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNoticeMessage)), GetModuleHandleA(nullptr), nullptr);
  if (scrolled == nullptr) return;  // the plain field stays
  SetWindowPos(scrolled, GetDlgItem(dialog, IDCANCEL), 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  DestroyWindow(field);
  SendMessageA(scrolled, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowTextA(scrolled, message.c_str());
  SendMessageA(scrolled, EM_SETSEL, 0, 0);
  SendMessageA(scrolled, EM_SCROLLCARET, 0, 0);
  gEditProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      scrolled, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(messageFieldProc)));
}

void finish(HWND dialog, uint32_t answer) {
  {
    std::lock_guard<std::mutex> lock(gOpenMutex);
    gOpenNotices.erase(std::remove(gOpenNotices.begin(), gOpenNotices.end(), dialog),
                       gOpenNotices.end());
  }
  KillTimer(dialog, kTimeoutTimer);
  gNoticeResult = answer;
  EndDialog(dialog, static_cast<INT_PTR>(answer));  // the fonts go at WM_DESTROY
}

INT_PTR CALLBACK noticeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* notice = reinterpret_cast<OpenNotice*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      notice = reinterpret_cast<OpenNotice*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(notice));
      SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      const NoticeParameters& p = notice->parameters;
      SetDlgItemTextW(dialog, kNoticeMessage, widen(notice->message).c_str());
      SetDlgItemTextW(dialog, IDOK, widen(p.firstButton).c_str());
      SetDlgItemTextW(dialog, IDCANCEL, widen(p.secondButton).c_str());
      if (p.timeoutSeconds > 0) SetTimer(dialog, kTimeoutTimer, p.timeoutSeconds * 1000, nullptr);
      notice->largeFont = arial(20);
      notice->smallFont = arial(16);
      SendDlgItemMessageA(dialog, IDOK, WM_SETFONT, reinterpret_cast<WPARAM>(notice->largeFont), FALSE);
      SendDlgItemMessageA(dialog, IDCANCEL, WM_SETFONT, reinterpret_cast<WPARAM>(notice->largeFont),
                          FALSE);
      HFONT messageFont =
          p.kind < static_cast<uint32_t>(kSmallFontKind) ? notice->largeFont : notice->smallFont;
      SendDlgItemMessageA(dialog, kNoticeMessage, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont),
                          FALSE);
      fitMessage(dialog, messageFont, notice->message);
      SetForegroundWindow(dialog);
      // The upper button takes the focus, so Enter answers with it.
      SetFocus(GetDlgItem(dialog, IDOK));
      {
        std::lock_guard<std::mutex> lock(gOpenMutex);
        gOpenNotices.push_back(dialog);
      }
      if (gDismissed) PostMessageA(dialog, kDismiss, 0, 0);  // dismissed meanwhile
      return FALSE;  // the focus is set
    }
    case kDismiss:
      finish(dialog, safeAnswer(notice->parameters));
      return TRUE;
    case WM_COMMAND:
      // Only the two buttons answer; Esc and closing from the keyboard come
      // as the lower button's id.
      if (LOWORD(wParam) == IDOK) finish(dialog, kUpperButton);
      else if (LOWORD(wParam) == IDCANCEL) finish(dialog, kLowerButton);
      return TRUE;
    case WM_TIMER:
      if (wParam == kTimeoutTimer) finish(dialog, kUpperButton);
      return TRUE;
    case WM_DESTROY:
      if (notice != nullptr) {
        if (notice->largeFont) DeleteObject(notice->largeFont);
        if (notice->smallFont) DeleteObject(notice->smallFont);
        notice->largeFont = notice->smallFont = nullptr;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

uint32_t noticeResult() { return gNoticeResult; }

bool noticeOpenOnThisThread() { return tOpenHere > 0; }

void setNoticeOwner(HWND owner) { gOwner = owner; }

void dismissNotices() {
  gDismissed = true;
  std::lock_guard<std::mutex> lock(gOpenMutex);
  for (HWND open : gOpenNotices) PostMessageA(open, kDismiss, 0, 0);
}

uint32_t NoticeDialog::answer(const NoticeParameters& parameters) {
  if (gDismissed) return safeAnswer(parameters);
  OpenNotice notice;
  notice.parameters = parameters;
  notice.message = withCrLf(parameters.message);
  // Owned by the window its thread works in (the main window, the wizard),
  // which is disabled while the notice is open, as for any modal dialog: no
  // click or key reaches it then. A thread without a window (a job's
  // worker) raises it without an owner, and the main window stays live.
  HWND owner = GetActiveWindow();  // this thread's, or none
  HWND registered = gOwner;
  if (owner == nullptr && registered != nullptr && IsWindowVisible(registered) &&
      GetWindowThreadProcessId(registered, nullptr) == GetCurrentThreadId())
    owner = registered;
  // A Unicode dialog: a message that names a file shows it in any script.
  ++tOpenHere;
  INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kNoticeDialog),
                              owner, noticeProc, reinterpret_cast<LPARAM>(&notice));
  --tOpenHere;
  if (r == kUpperButton || r == kLowerButton) return static_cast<uint32_t>(r);
  return safeAnswer(parameters);  // no dialog could be shown: nobody can answer
}

}  // namespace trep
