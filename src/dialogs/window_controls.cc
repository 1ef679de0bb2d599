#include "dialogs/window_controls.h"

#include <commctrl.h>

#include <vector>

#include "platform/win32/wide.h"

namespace trep {

namespace {

bool isEditField(HWND h) {
  char name[16] = {0};
  GetClassNameA(h, name, sizeof(name));
  return lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

// The one place every field of the program is written. The program rewrites
// fields while the user types in them (the analysis of each change writes
// the path it took; the named folder follows the folder typed), so a
// rewrite that changes nothing leaves the field alone (no caret moved, no
// change notification), and one that changes the text puts the caret and
// selection back where the typing goes on.
void WindowControls::setText(int id, std::string_view text) {
  HWND h = item(id);
  if (h == nullptr) return;
  const std::string before = this->text(id);
  if (before == text) return;
  const std::wstring wide = widen(text);
  if (!isEditField(h)) {
    SetWindowTextW(h, wide.c_str());
    return;
  }
  // The edit field counts its caret in UTF-16 units; the rule counts bytes
  // of the UTF-8 texts.
  DWORD start = 0, end = 0;
  SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::wstring wideBefore = widen(before);
  auto toBytes = [&](DWORD units) {
    return narrow(wideBefore.data(), units < wideBefore.size() ? units : wideBefore.size()).size();
  };
  auto toUnits = [&](std::size_t bytes) {
    return static_cast<LPARAM>(widen(std::string_view(text).substr(0, bytes)).size());
  };
  SetWindowTextW(h, wide.c_str());
  SendMessageW(h, EM_SETSEL,
               static_cast<WPARAM>(toUnits(caretAfterRewrite(before, text, toBytes(start)))),
               toUnits(caretAfterRewrite(before, text, toBytes(end))));
}

std::string WindowControls::text(int id) {
  HWND h = item(id);
  if (h == nullptr) return "";
  int n = GetWindowTextLengthW(h);
  if (n <= 0) return "";
  std::vector<wchar_t> buffer(static_cast<std::size_t>(n) + 1, L'\0');
  int got = GetWindowTextW(h, buffer.data(), n + 1);
  return narrow(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

void WindowControls::setNumber(int id, uint32_t n) {
  setText(id, std::to_string(n));
}

uint32_t WindowControls::number(int id) { return fieldNumber(text(id)); }

void WindowControls::select(int id, int index) {
  if (HWND h = item(id)) SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int WindowControls::selection(int id) {
  HWND h = item(id);
  if (h == nullptr) return 0;
  LRESULT r = SendMessageA(h, CB_GETCURSEL, 0, 0);
  return r == CB_ERR ? 0 : static_cast<int>(r);
}

void WindowControls::setCheck(int id, bool on) {
  if (HWND h = item(id)) SendMessageA(h, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool WindowControls::checked(int id) {
  HWND h = item(id);
  return h != nullptr && SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WindowControls::enable(int id, bool on) {
  if (HWND h = item(id)) EnableWindow(h, on ? TRUE : FALSE);
}

void WindowControls::show(int id, bool on) {
  if (HWND h = item(id)) ShowWindow(h, on ? SW_SHOW : SW_HIDE);
}

void WindowControls::setSliderMin(int id, uint32_t min) {
  if (HWND h = item(id)) SendMessageA(h, TBM_SETRANGEMIN, FALSE, static_cast<LPARAM>(min));
}

void WindowControls::setSliderMax(int id, uint32_t max) {
  if (HWND h = item(id)) SendMessageA(h, TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(max));
}

void WindowControls::setSliderPosition(int id, uint32_t position) {
  if (HWND h = item(id)) SendMessageA(h, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
}

uint32_t WindowControls::sliderPosition(int id) {
  HWND h = item(id);
  if (h == nullptr) return 0;
  LRESULT r = SendMessageA(h, TBM_GETPOS, 0, 0);
  return r < 0 ? 0 : static_cast<uint32_t>(r);
}

void WindowControls::setTooltip(int id, std::string_view text) {
  HWND h = item(id);
  if (h == nullptr || tooltips_ == nullptr) return;
  std::lock_guard<std::mutex> lock(tooltipMutex_);
  std::string& kept = tooltipTexts_[id];
  kept.assign(text);
  // The tooltip finds the control by its handle and watches its mouse
  // messages itself. A control registered before gets its text replaced,
  // so a refresh never piles up entries for one control.
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(h);
  tool.hinst = GetModuleHandleA(nullptr);
  tool.lpszText = const_cast<char*>(kept.c_str());
  SendMessageA(tooltips_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tooltips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void WindowControls::fillList(int id, const char* const* entries, int count) {
  HWND h = item(id);
  if (h == nullptr) return;
  SendMessageA(h, CB_RESETCONTENT, 0, 0);
  // Inserted by index: the list's sorted style does not reorder them.
  for (int i = 0; i < count; ++i)
    SendMessageA(h, CB_INSERTSTRING, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entries[i]));
}

std::string firstDroppedPath(HDROP drop) {
  std::string path;
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length > 0) {
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DragQueryFileW(drop, 0, buffer.data(), length + 1);
    path = narrow(buffer.data(), length);
    if (!PathText::fits(path)) path.clear();
  }
  DragFinish(drop);
  return path;
}

void WindowJobFields::setTitle(std::string_view title) {
  SetWindowTextW(window_, widen(title).c_str());
}

void WindowJobFields::showSegmentCount(uint32_t count) {
  SetDlgItemTextA(window_, CTL_SEGMENT_COUNT, std::to_string(count).c_str());
}

void WindowJobFields::showCrc(uint32_t crc) {
  SetDlgItemTextA(window_, CTL_CRC, std::to_string(crc).c_str());
}

}  // namespace trep
