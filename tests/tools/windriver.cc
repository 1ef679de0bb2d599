// A test tool: works the windows of another program (Trep.exe) the way a
// person would, by window messages, from a script of one command a line, and
// checks what the windows show. The window tests run it under Wine beside
// Trep.exe on a virtual display.
//
//   windriver.exe [--timeout=SECONDS] [SCRIPT]     (no SCRIPT or "-": stdin)
//
// Exit code: 0 when every command passed; 1 at the first expectation that
// failed (one line on stdout: the script line, what was expected, what was
// found); 2 for a usage or script syntax error (nothing is run then); 3 when
// a wait ran out of time (the line says what it waited for and what it saw
// last). Every wait has that guard, 30 s unless set otherwise: nothing waits
// for ever.
//
// Script: one command a line; blank lines and lines starting with # are
// skipped. Words are separated by blanks; "..." makes one word of text with
// blanks, in which \" stands for " and \\ for \ (every other backslash is
// itself, so "Z:\work\a b.bin" needs no doubling, but a final backslash
// does: "Z:\work\\"). B is 0 or 1. ID is a control id of the current window
// (or, for sysmenu, a command): a name the program is built with, or a
// decimal number. The names are every numbered #define of
// src/planning/control_ids.h (CTL_USE_CRC, WIZ_DEST_SELECTED ...) and of
// src/resources/resource_ids.h (kAboutVersion ...), read when this tool is
// built; IDOK and IDCANCEL; cmb13, the file name field of the system's
// file chooser; kOnTopToggle, the main window's "On Top Toggle" command.
// A name that is none of these is a script error.
//
// Windows
//   window CLASS          wait for a visible top-level window of this class;
//                         it becomes the current window
//   title TEXT            the same, found by its title
//   timeout SECONDS       the guard of every later wait
//   sleep MS              pause (for looking at a run, never to wait for a
//                         result: use a wait- command for that)
//   print ID              print "ID: TEXT" (the control's text) on stdout
//   print-focus           print "focus: ID", the number of the control that
//                         has the keyboard focus in the current window's
//                         thread (0: none)
//   children              print "child ID CLASS "TEXT"" for every child
//                         window (for writing scripts against a dialog of
//                         the system)
//
// Checks: each expect-NAME checks once and fails with exit 1; its twin
// wait-NAME with the same arguments polls until it holds and fails with
// exit 3 when the guard runs out. A control that does not exist fails an
// expect- at once; a wait- keeps looking for it.
//   expect-title TEXT              the current window's title
//   expect-text ID TEXT            the control's text (WM_GETTEXT)
//   expect-like ID PATTERN         the same with * (any run) and ? (any one)
//   expect-enabled ID B
//   expect-visible ID B            the control's own WS_VISIBLE style
//   expect-checked ID B            BM_GETCHECK (1 = checked)
//   expect-selection ID TEXT       the selected entry of a combo box
//   expect-items ID T1|T2|...      every entry of a combo box, in order
//   expect-slider ID POS           TBM_GETPOS of a trackbar
//   expect-slider-range ID MIN MAX
//   expect-progress ID POS         PBM_GETPOS of a progress bar
//   expect-topmost B               WS_EX_TOPMOST of the current window
//   expect-caret ID POS            an edit control's caret at POS (no
//                                  selection); POS a number or "end"
//   expect-first-line ID N         a multi-line edit control shows line N
//                                  (from 0) as its first visible line
//   expect-scrollbar ID B          the control shows its vertical scroll bar
//   expect-tabstop ID B            the control is a tab stop (the keyboard
//                                  reaches it)
//   expect-centred TARGET          the current window's top-level window is
//                                  centred (within 2 pixels) on the screen's
//                                  work area (TARGET "screen") or on the
//                                  top-level window of class TARGET, shown
//                                  or hidden
//   expect-hidden                  the current window exists but is hidden
//   expect-gone                    the current window no longer exists
//
// Actions: each is delivered as the control itself would deliver it (sent,
// not posted) and returns once the program has handled it, or once a notice
// has opened meanwhile (the handler then waits for its answer). A control
// must be visible and enabled to be worked, as for a person.
//   click ID              WM_COMMAND BN_CLICKED to the window
//   open-click ID         the same, posted: for a button that opens a modal
//                         dialog of the system (a chooser), which the next
//                         lines then work; it does not wait for anything
//   check ID B            sets a check box (nothing when it already is) or a
//                         radio button (B = 1; the others of its group are
//                         cleared), then BN_CLICKED
//   type ID TEXT          WM_SETTEXT to an edit control (it tells the window
//                         with EN_UPDATE and EN_CHANGE)
//   keys ID TEXT          TEXT typed into an edit control one character at
//                         a time (WM_CHAR each), where its caret is, as the
//                         keyboard would; each character is an action
//   caret ID POS          puts an edit control's caret at POS (a number or
//                         "end"), nothing selected
//   key KEY               presses KEY (esc, enter, tab, space, up, down,
//                         left, right) in the current window: posted to the
//                         control that has the focus in its thread (or the
//                         window), so the program's own message loop and
//                         dialog keys decide what it means. Returns at
//                         once: posted messages are handled in order, so a
//                         later open-click, say, comes after it.
//                         "shift+KEY" holds Shift while the program handles
//                         KEY (shift+tab) and returns once it has
//   press KEY...          real key strokes through the system's input
//                         (SendInput), to the current window's top-level
//                         window, brought to the foreground first: each
//                         KEY is a key name as for "key", or a letter or
//                         digit, with "shift+", "ctrl+" or "alt+" before it
//                         (shift+tab), or "text:TEXT", typed character by
//                         character. Returns once the program's thread has
//                         taken the input (or a notice opened)
//   expect-focus ID       the control ID of the current window has the
//                         keyboard focus (wait-focus: until it has)
//   double-click ID       a person's double click on the control: button
//                         down, up, double click, up, posted to it at its
//                         centre; returns at once (the first click's
//                         handler may open a notice, which the second then
//                         meets)
//   post-command ID N     N commands of control ID (BN_CLICKED), posted to
//                         the window one after the other, as a program or a
//                         stuck key might repeat them; whether the control
//                         is usable is not looked at. Returns at once
//   choose ID TEXT        selects the combo entry TEXT, then CBN_SELCHANGE
//   slide ID POS          TBM_SETPOS, then WM_HSCROLL TB_THUMBPOSITION
//   focus ID / unfocus ID the control's SETFOCUS / KILLFOCUS notification
//   sysmenu CMD           WM_SYSCOMMAND CMD (a system menu item)
//   close                 WM_CLOSE (the close box)
//   move X Y              moves the current window's top-level window to
//                         X, Y (screen pixels)
//   print-place ID        print "ID: X Y WIDTH HEIGHT", the control's place
//                         in its window's client area in pixels
//   capture PATH          the client area of the current window's
//                         top-level window as the screen shows it, written
//                         to PATH (a Windows path) as a 24-bit BMP file
//
// Texts: the script is UTF-8, and so is every text printed or compared;
// windows are read and written as wide text (UTF-16), so a control's text
// in any script is seen as the program shows it.
//
// Notices: a visible top-level window titled "Trep 1.6", a dialog with the
// message in control kNoticeMessage and the answers as buttons 1 (upper)
// and 2 (lower). Line breaks of a message read " | ". Where TEXT is given
// and several notices are open (a job's question and the window's own),
// the one with that message is taken.
//   wait-notice [TEXT]    wait for a notice, print "notice: MESSAGE", check
//                         the message when TEXT is given
//   notice ANSWER [TEXT]  the same, then press button ANSWER (1 or 2) and
//                         wait until the notice is gone
//   notice-key KEY [TEXT] the same, but press the key KEY (enter or esc) on
//                         the control that has the focus
//   expect-notice-buttons TEXT1 TEXT2 [TEXT]   (waits for a notice first)
//   expect-notice-topmost              (waits for a notice first)
//   no-notice MS          fails if a notice shows within MS milliseconds
//   wait-notice-gone      wait until no notice is open
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "planning/control_ids.h"
#include "platform/program_texts.h"
#include "resources/resource_ids.h"

namespace {

constexpr char kNoticeTitle[] = TREP_NOTICE_TITLE;
constexpr DWORD kPollMs = 50;

enum Exit { kPassed = 0, kFailed = 1, kSyntax = 2, kTimedOut = 3 };

// Ends the run: thrown by any command, caught in main.
struct Stop {
  int code;
  std::string why;
};

[[noreturn]] void fail(const std::string& why) { throw Stop{kFailed, why}; }
[[noreturn]] void timedOut(const std::string& why) { throw Stop{kTimedOut, why}; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// UTF-8 <-> UTF-16 by the system's own conversion, not the program's: the
// driver judges what Trep.exe shows by an independent reading.
std::wstring wideOf(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string utf8Of(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

std::string windowText(HWND w) {
  wchar_t text[1024] = {0};
  GetWindowTextW(w, text, 1024);
  return utf8Of(text);
}

std::string oneLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += " | ";
    } else {
      out += text[i];
    }
  }
  return out;
}

// Glob match: * any run of characters, ? any one.
bool like(const char* p, const char* s) {
  if (*p == '\0') return *s == '\0';
  if (*p == '*') return like(p + 1, s) || (*s != '\0' && like(p, s + 1));
  return *s != '\0' && (*p == '?' || *p == *s) && like(p + 1, s + 1);
}

// ------------------------------------------------------------- parsing ---

bool isNumber(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The names a script may give an id, each with the value the program is
// built with. windriver_names.inc is written from the id headers at build
// time, one entry for each of their numbered #defines.
struct IdName {
  const char* name;
  long id;
};
const IdName kIdNames[] = {
#include "windriver_names.inc"
    {"IDOK", IDOK},
    {"IDCANCEL", IDCANCEL},
    {"cmb13", cmb13},
    {"kOnTopToggle", static_cast<long>(trep::kOnTopToggle)},
};

// The id a word gives: a decimal number or a name of kIdNames.
bool idOf(const std::string& w, long* id) {
  if (isNumber(w)) {
    *id = std::strtol(w.c_str(), nullptr, 10);
    return true;
  }
  for (const IdName& n : kIdNames)
    if (w == n.name) {
      *id = n.id;
      return true;
    }
  return false;
}

struct Step {
  int line = 0;
  std::string source;             // the line as written, for reports
  std::vector<std::string> word;  // word[0] is the command
  long num(std::size_t i) const { return std::strtol(word[i].c_str(), nullptr, 10); }
  // An argument of kind 'i', checked before the script runs.
  long id(std::size_t i) const {
    long v = 0;
    idOf(word[i], &v);
    return v;
  }
  // How reports name the control of argument 1: as written, with the
  // number when it was given by name.
  std::string control() const {
    return isNumber(word[1]) ? word[1] : word[1] + " (" + std::to_string(id(1)) + ")";
  }
};

// Splits a line into words; false (with why) on an unclosed quote.
bool splitWords(const std::string& line, std::vector<std::string>* words, std::string* why) {
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    std::string w;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          w += line[i + 1];
          i += 2;
        } else if (line[i] == '"') {
          ++i;
          closed = true;
          break;
        } else {
          w += line[i++];
        }
      }
      if (!closed) {
        *why = "no closing quote";
        return false;
      }
      if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        *why = "a closing quote must end the word";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
    }
    words->push_back(w);
  }
  return true;
}

// Argument kinds: 'n' a decimal number, 'i' an id (a number or a name of
// kIdNames), 'b' 0 or 1, 'a' an answer 1 or 2, 't' any text. Letters after
// '|' are optional.
bool argumentFits(char kind, const std::string& w) {
  long id = 0;
  switch (kind) {
    case 'n': return isNumber(w);
    case 'i': return idOf(w, &id);
    case 'b': return w == "0" || w == "1";
    case 'a': return w == "1" || w == "2";
    default: return true;
  }
}

// ------------------------------------------------------------- windows ---

struct Run {
  DWORD guardMs = 30000;
  HWND window = nullptr;       // the current window
  std::string windowName;      // how it was found, for reports
  HWND printedNotice = nullptr;  // the notice whose message was printed last
};

Run run;

bool guardLeft(DWORD start) { return GetTickCount() - start < run.guardMs; }
std::string guardText() { return std::to_string(run.guardMs / 1000) + " s"; }

std::string classOf(HWND w) {
  char name[256] = {0};
  GetClassNameA(w, name, sizeof(name));
  return name;
}

// A message sent and answered within the guard. A window that stops
// answering is a timeout; one that is gone is a failure.
LRESULT ask(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutA(w, message, wParam, lParam, SMTO_NORMAL, run.guardMs, &result) != 0)
    return static_cast<LRESULT>(result);
  if (!IsWindow(w)) fail("the window went away while it was asked");
  timedOut("the program did not answer message " + std::to_string(message) + " within " +
           guardText());
}

LRESULT askWide(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(w, message, wParam, lParam, SMTO_NORMAL, run.guardMs, &result) != 0)
    return static_cast<LRESULT>(result);
  if (!IsWindow(w)) fail("the window went away while it was asked");
  timedOut("the program did not answer message " + std::to_string(message) + " within " +
           guardText());
}

std::string textOf(HWND w) {
  LRESULT length = askWide(w, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return "";
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  askWide(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return utf8Of(buffer.data());
}

struct Search {
  const std::string* cls;
  const std::string* title;
  HWND found;
};

BOOL CALLBACK matchTopLevel(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(w)) return TRUE;
  if (s->cls != nullptr && classOf(w) != *s->cls) return TRUE;
  if (s->title != nullptr && *s->title != windowText(w)) return TRUE;
  s->found = w;
  return FALSE;
}

HWND findTopLevel(const std::string* cls, const std::string* title) {
  Search s{cls, title, nullptr};
  EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

BOOL CALLBACK listTopLevel(HWND w, LPARAM param) {
  if (!IsWindowVisible(w)) return TRUE;
  auto* out = reinterpret_cast<std::string*>(param);
  if (!out->empty()) *out += ", ";
  *out += classOf(w) + " " + quoted(windowText(w));
  return TRUE;
}

std::string visibleWindows() {
  std::string out;
  EnumWindows(listTopLevel, reinterpret_cast<LPARAM>(&out));
  return out.empty() ? "none" : out;
}

HWND currentWindow() {
  if (run.window == nullptr) fail("no current window (a 'window' or 'title' line comes first)");
  if (!IsWindow(run.window)) fail("the window " + run.windowName + " is gone");
  return run.window;
}

// The control that argument 1 of a step names.
HWND controlOrNull(const Step& s) { return GetDlgItem(currentWindow(), static_cast<int>(s.id(1))); }

HWND control(const Step& s) {
  HWND c = controlOrNull(s);
  if (c == nullptr) fail("the window " + run.windowName + " has no control " + s.control());
  return c;
}

// -------------------------------------------------------------- notices ---

struct Notice {
  HWND window = nullptr;
  std::string message, first, second;
};

// The notices open now: every visible top-level window with the notice's
// title, in the order the system lists them (the latest first).
BOOL CALLBACK collectNotice(HWND w, LPARAM param) {
  static const std::string title = kNoticeTitle;
  if (!IsWindowVisible(w)) return TRUE;
  char text[512] = {0};
  GetWindowTextA(w, text, sizeof(text));
  if (title == text) reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
  return TRUE;
}

std::vector<HWND> openNotices() {
  std::vector<HWND> found;
  EnumWindows(collectNotice, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Reads one notice once it is shown complete: its message in place and both
// buttons there. False until then.
bool readNoticeWindow(HWND w, Notice* n) {
  HWND text = GetDlgItem(w, kNoticeMessage), one = GetDlgItem(w, 1), two = GetDlgItem(w, 2);
  if (text == nullptr || one == nullptr || two == nullptr) return false;
  // A short guard of its own: a notice that stops answering is looked at again.
  auto textIn = [](HWND c) {
    wchar_t buffer[4096] = {0};
    DWORD_PTR r = 0;
    if (SendMessageTimeoutW(c, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                            SMTO_NORMAL, 1000, &r) == 0)
      return std::string();
    return utf8Of(buffer);
  };
  n->window = w;
  n->message = textIn(text);
  n->first = textIn(one);
  n->second = textIn(two);
  return !n->message.empty();
}

// An open notice, shown complete: with `want`, one whose message reads so
// (on one line); without, the first found.
bool readNotice(Notice* n, const std::string* want = nullptr) {
  for (HWND w : openNotices()) {
    Notice seen;
    if (!readNoticeWindow(w, &seen)) continue;
    if (want == nullptr || oneLine(seen.message) == *want) {
      *n = seen;
      return true;
    }
  }
  return false;
}

std::string openNoticeTexts() {
  std::string out;
  for (HWND w : openNotices()) {
    Notice seen;
    if (readNoticeWindow(w, &seen)) out += (out.empty() ? "" : ", ") + quoted(oneLine(seen.message));
  }
  return out.empty() ? "none" : out;
}

bool noticeOpen() {
  Notice n;
  return readNotice(&n);
}

// Waits for a notice (one whose message reads `want`, when given).
Notice waitNotice(const std::string* want = nullptr) {
  DWORD start = GetTickCount();
  Notice n;
  while (!readNotice(&n, want)) {
    if (!guardLeft(start)) {
      // Another notice instead of the one expected: an expectation failed.
      if (want != nullptr && noticeOpen())
        fail("expected the notice " + quoted(*want) + " within " + guardText() + ", found " +
             openNoticeTexts());
      timedOut("no notice (\"" + std::string(kNoticeTitle) + "\") within " + guardText() +
               "; visible windows: " + visibleWindows());
    }
    Sleep(kPollMs);
  }
  if (n.window != run.printedNotice) {
    std::printf("notice: %s\n", oneLine(n.message).c_str());
    std::fflush(stdout);
    run.printedNotice = n.window;
  }
  return n;
}

// The notice a step names by its message in word `at`, if it has one.
Notice waitNotice(const Step& s, std::size_t at) {
  return waitNotice(s.word.size() > at ? &s.word[at] : nullptr);
}

BOOL CALLBACK printChild(HWND c, LPARAM) {
  std::printf("child %d %s \"%s\"%s\n", GetDlgCtrlID(c), classOf(c).c_str(),
              oneLine(textOf(c)).c_str(), IsWindowVisible(c) ? "" : " (hidden)");
  return TRUE;
}

// ------------------------------------------------------------- actions ---

// A message sent from a thread of its own: the handler may open a modal
// notice and wait for its answer, which only this program can give. The
// action counts as delivered once the handler returned or a notice opened.
struct Delivery {
  HWND target;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;  // WM_SETTEXT's text (UTF-8)
  DWORD guardMs;
};

DWORD WINAPI deliver(LPVOID param) {
  std::unique_ptr<Delivery> d(static_cast<Delivery*>(param));
  const std::wstring wide = wideOf(d->text);  // alive as long as the thread
  LPARAM lParam = d->message == WM_SETTEXT ? reinterpret_cast<LPARAM>(wide.c_str()) : d->lParam;
  DWORD_PTR result = 0;
  // Longer than the guard: a notice answered late still ends it.
  SendMessageTimeoutW(d->target, d->message, d->wParam, lParam, SMTO_NORMAL, d->guardMs * 4,
                      &result);
  return 0;
}

void act(HWND target, UINT message, WPARAM wParam, LPARAM lParam, const std::string& text = "") {
  const std::vector<HWND> noticesBefore = openNotices();
  auto newNotice = [&noticesBefore] {
    for (HWND w : openNotices()) {
      bool known = false;
      for (HWND b : noticesBefore) known = known || b == w;
      Notice n;
      if (!known && readNoticeWindow(w, &n)) return true;
    }
    return false;
  };
  auto* d = new Delivery{target, message, wParam, lParam, text, run.guardMs};
  HANDLE thread = CreateThread(nullptr, 0, deliver, d, 0, nullptr);
  if (thread == nullptr) {
    delete d;
    fail("no thread to deliver the message");
  }
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(thread, kPollMs) == WAIT_OBJECT_0) break;
    if (newNotice()) break;  // its answer comes from a later line
    if (!guardLeft(start)) {
      CloseHandle(thread);
      timedOut("the program did not finish handling message " + std::to_string(message) +
               " within " + guardText() + "; visible windows: " + visibleWindows());
    }
  }
  CloseHandle(thread);
}

// A control a person could work: shown and enabled.
HWND workable(const Step& s) {
  HWND c = control(s);
  if (!IsWindowVisible(c)) fail("control " + s.control() + " is hidden");
  if (!IsWindowEnabled(c)) fail("control " + s.control() + " is disabled");
  return c;
}

void notifyParent(HWND c, long id, WORD code) {
  act(currentWindow(), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(c));
}

// The entries are read as wide text: Wine hands CB_GETLBTEXT across
// processes in the receiver's wide characters even to SendMessageA.
std::vector<std::string> comboItems(HWND c) {
  std::vector<std::string> items;
  LRESULT count = ask(c, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = askWide(c, CB_GETLBTEXTLEN, i, 0);
    std::vector<wchar_t> buffer(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
    if (length > 0) askWide(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
    items.push_back(utf8Of(buffer.data()));
  }
  return items;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "|" : "") + items[i];
  return out;
}

// -------------------------------------------------------------- checks ---

// What a check saw: whether it holds, and what was found, for the report.
struct Seen {
  bool holds;
  std::string found;
};

// Evaluates one check; `missing` is set (and nothing else) when the
// control it reads does not exist yet.
using Check = std::function<Seen(const Step&, bool* missing)>;

HWND checkedControl(const Step& s, bool* missing) {
  HWND c = controlOrNull(s);
  if (c == nullptr) *missing = true;
  return c;
}

Seen same(const std::string& want, const std::string& got) { return {want == got, quoted(got)}; }
Seen same(long want, long got) { return {want == got, std::to_string(got)}; }

struct CheckDef {
  const char* name;  // after "expect-" / "wait-"
  const char* args;
  const char* expected;  // the report's "expected ..." with $1.. for words
  Check check;
};

// An edit control's caret position named by a word: a number or "end".
long caretPosition(HWND c, const std::string& word) {
  if (word == "end") return static_cast<long>(ask(c, WM_GETTEXTLENGTH, 0, 0));
  if (!isNumber(word)) fail("a caret position is a number or \"end\", not " + quoted(word));
  return std::strtol(word.c_str(), nullptr, 10);
}

HWND focusOf(HWND window);

long styleBit(HWND c, LONG bit) { return (GetWindowLongA(c, GWL_STYLE) & bit) != 0 ? 1 : 0; }

const std::vector<CheckDef>& checks() {
  static const std::vector<CheckDef> defs = {
      {"title", "t", "title \"$1\"",
       [](const Step& s, bool*) { return same(s.word[1], textOf(currentWindow())); }},
      {"text", "it", "control $1 to read \"$2\"",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.word[2], textOf(c)) : Seen{};
       }},
      {"like", "it", "control $1 to read like \"$2\"",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         if (!c) return Seen{};
         std::string t = textOf(c);
         return Seen{like(s.word[2].c_str(), t.c_str()), quoted(t)};
       }},
      {"enabled", "ib", "control $1 enabled = $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), IsWindowEnabled(c) ? 1 : 0) : Seen{};
       }},
      {"visible", "ib", "control $1 visible = $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), styleBit(c, WS_VISIBLE)) : Seen{};
       }},
      {"checked", "ib", "control $1 checked = $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), static_cast<long>(ask(c, BM_GETCHECK, 0, 0))) : Seen{};
       }},
      {"selection", "it", "control $1 to have \"$2\" selected",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         if (!c) return Seen{};
         LRESULT i = ask(c, CB_GETCURSEL, 0, 0);
         if (i < 0) return Seen{false, "no selection"};
         std::vector<std::string> items = comboItems(c);
         std::string got = static_cast<std::size_t>(i) < items.size() ? items[i] : "";
         return same(s.word[2], got);
       }},
      {"items", "it", "control $1 to list \"$2\"",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.word[2], joined(comboItems(c))) : Seen{};
       }},
      {"slider", "in", "slider $1 at $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), static_cast<long>(ask(c, TBM_GETPOS, 0, 0))) : Seen{};
       }},
      {"slider-range", "inn", "slider $1 from $2 to $3",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         if (!c) return Seen{};
         long lo = static_cast<long>(ask(c, TBM_GETRANGEMIN, 0, 0));
         long hi = static_cast<long>(ask(c, TBM_GETRANGEMAX, 0, 0));
         return Seen{lo == s.num(2) && hi == s.num(3),
                     "from " + std::to_string(lo) + " to " + std::to_string(hi)};
       }},
      {"progress", "in", "progress bar $1 at $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), static_cast<long>(ask(c, PBM_GETPOS, 0, 0))) : Seen{};
       }},
      {"topmost", "b", "topmost = $1",
       [](const Step& s, bool*) {
         LONG ex = GetWindowLongA(currentWindow(), GWL_EXSTYLE);
         return same(s.num(1), (ex & WS_EX_TOPMOST) != 0 ? 1 : 0);
       }},
      {"caret", "it", "control $1 with its caret at $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         if (!c) return Seen{};
         DWORD start = 0, end = 0;
         ask(c, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
         long at = caretPosition(c, s.word[2]);
         std::string found = start == end ? "at " + std::to_string(start)
                                          : std::to_string(start) + ".." + std::to_string(end) +
                                                " selected";
         return Seen{start == end && static_cast<long>(start) == at, found};
       }},
      {"scrollbar", "ib", "control $1 showing a vertical scroll bar = $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), styleBit(c, WS_VSCROLL)) : Seen{};
       }},
      {"tabstop", "ib", "control $1 a tab stop = $2",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), styleBit(c, WS_TABSTOP)) : Seen{};
       }},
      {"centred", "t", "the window centred on $1",
       [](const Step& s, bool*) {
         RECT target = {};
         if (s.word[1] == "screen") {
           SystemParametersInfoA(SPI_GETWORKAREA, 0, &target, 0);
         } else {
           HWND w = FindWindowA(s.word[1].c_str(), nullptr);
           if (w == nullptr) return Seen{false, "no window of class " + quoted(s.word[1])};
           GetWindowRect(w, &target);
         }
         RECT r = {};
         GetWindowRect(GetAncestor(currentWindow(), GA_ROOT), &r);
         long dx = (r.left + r.right) / 2 - (target.left + target.right) / 2;
         long dy = (r.top + r.bottom) / 2 - (target.top + target.bottom) / 2;
         return Seen{labs(dx) <= 2 && labs(dy) <= 2,
                     "its centre " + std::to_string(dx) + ", " + std::to_string(dy) +
                         " pixels off (window at " + std::to_string(r.left) + ", " +
                         std::to_string(r.top) + ")"};
       }},
      {"focus", "i", "control $1 to have the keyboard focus",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         if (!c) return Seen{};
         HWND focus = focusOf(currentWindow());
         if (focus == c) return Seen{true, ""};
         if (focus == nullptr) return Seen{false, "no control with the focus"};
         return Seen{false, "control " + std::to_string(GetDlgCtrlID(focus)) + " " +
                                classOf(focus) + " " + quoted(oneLine(textOf(focus)))};
       }},
      {"first-line", "in", "control $1 showing line $2 first",
       [](const Step& s, bool* m) {
         HWND c = checkedControl(s, m);
         return c ? same(s.num(2), static_cast<long>(ask(c, EM_GETFIRSTVISIBLELINE, 0, 0)))
                  : Seen{};
       }},
      {"hidden", "", "the window to exist, hidden",
       [](const Step&, bool*) {
         return Seen{!IsWindowVisible(currentWindow()), "it is visible"};
       }},
      {"gone", "", "the window to be gone",
       [](const Step&, bool*) {
         if (run.window == nullptr) fail("no current window (a 'window' or 'title' line comes first)");
         return Seen{!IsWindow(run.window), "it still exists"};
       }},
  };
  return defs;
}

std::string expectation(const CheckDef& d, const Step& s) {
  std::string out;
  for (const char* p = d.expected; *p; ++p) {
    if (*p == '$' && p[1] >= '1' && p[1] <= '9') {
      std::size_t i = static_cast<std::size_t>(p[1] - '0');
      out += i < s.word.size() ? s.word[i] : "";
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

void runCheck(const CheckDef& d, const Step& s, bool wait) {
  DWORD start = GetTickCount();
  for (;;) {
    bool missing = false;
    Seen seen = d.check(s, &missing);
    if (!missing && seen.holds) return;
    std::string found =
        missing ? "no control " + s.control() + " in the window " + run.windowName : seen.found;
    if (!wait) fail("expected " + expectation(d, s) + ", found " + found);
    if (!guardLeft(start))
      timedOut("waited " + guardText() + " for " + expectation(d, s) + "; last found " + found);
    Sleep(kPollMs);
  }
}

// ------------------------------------------------------------ commands ---

struct CommandDef {
  const char* name;
  const char* args;
  std::function<void(const Step&)> run;
};

void findWindow(const Step& s, bool byClass) {
  DWORD start = GetTickCount();
  const std::string& key = s.word[1];
  for (;;) {
    HWND w = byClass ? findTopLevel(&key, nullptr) : findTopLevel(nullptr, &key);
    if (w != nullptr) {
      run.window = w;
      run.windowName = (byClass ? "of class " : "titled ") + quoted(key);
      return;
    }
    if (!guardLeft(start))
      timedOut("no visible window " + std::string(byClass ? "of class " : "titled ") +
               quoted(key) + " within " + guardText() + "; visible windows: " + visibleWindows());
    Sleep(kPollMs);
  }
}

void checkMessage(const Notice& n, const Step& s, std::size_t at) {
  if (s.word.size() > at && oneLine(n.message) != s.word[at])
    fail("expected the notice " + quoted(s.word[at]) + ", found " + quoted(oneLine(n.message)));
}

void waitClosed(const Notice& n, const std::string& after) {
  DWORD start = GetTickCount();
  while (IsWindow(n.window) && IsWindowVisible(n.window)) {
    if (!guardLeft(start))
      timedOut("the notice " + quoted(oneLine(n.message)) + " did not close within " +
               guardText() + " after " + after);
    Sleep(kPollMs);
  }
}

void press(const Notice& n, long answer) {
  int id = static_cast<int>(answer);
  HWND button = GetDlgItem(n.window, id);
  // What the button sends its dialog when clicked; posted, since the dialog
  // ends inside the handler.
  PostMessageA(n.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  waitClosed(n, "answer " + std::to_string(answer));
}

struct KeyName {
  const char* name;
  UINT vk;
};
const KeyName kKeyNames[] = {{"enter", VK_RETURN}, {"esc", VK_ESCAPE}, {"tab", VK_TAB},
                             {"space", VK_SPACE},  {"up", VK_UP},      {"down", VK_DOWN},
                             {"left", VK_LEFT},    {"right", VK_RIGHT}};

// A key by name, or a letter or digit; 0 when it is none of these.
UINT keyOf(const std::string& key) {
  for (const KeyName& k : kKeyNames)
    if (key == k.name) return k.vk;
  if (key.size() == 1 && ((key[0] >= 'a' && key[0] <= 'z') || (key[0] >= '0' && key[0] <= '9')))
    return static_cast<UINT>(key[0] >= 'a' ? key[0] - 'a' + 'A' : key[0]);
  return 0;
}

UINT virtualKey(const std::string& key) {
  UINT vk = keyOf(key);
  if (vk == 0 || key.size() == 1)
    fail("unknown key " + quoted(key) + " (enter, esc, tab, space, up, down, left, right)");
  return vk;
}

// A key pressed in a window: posted to the control that has the keyboard
// focus in the window's thread (or to the window, when the focus is
// elsewhere), as the keyboard would deliver it, so the program's own
// message loop and dialog keys decide what it means.
void postKey(HWND window, UINT vk) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
      info.hwndFocus != nullptr && (info.hwndFocus == window || IsChild(window, info.hwndFocus)))
    target = info.hwndFocus;
  UINT scan = MapVirtualKeyA(vk, 0);
  PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

// "shift+KEY": KEY pressed with Shift held, as the program's thread reads
// Shift (GetKeyState) while it handles KEY. Posted messages carry no key
// state of their own, so this tool's thread shares the program thread's
// input for the moment (AttachThreadInput), holds Shift in that shared
// state, posts KEY and waits until the thread has handled it, then lets go
// of Shift and of the program's input.
void postShiftedKey(HWND window, UINT vk) {
  // Keys posted before this one (a plain "key tab" returns at once) are
  // handled first, without Shift: the state held below would reach them.
  HWND top = GetAncestor(window, GA_ROOT);
  act(top, WM_NULL, 0, 0);
  act(top, WM_NULL, 0, 0);
  const DWORD mine = GetCurrentThreadId();
  const DWORD theirs = GetWindowThreadProcessId(window, nullptr);
  if (!AttachThreadInput(mine, theirs, TRUE)) fail("the program's input could not be shared");
  BYTE saved[256] = {};
  GetKeyboardState(saved);
  BYTE held[256];
  std::memcpy(held, saved, sizeof(held));
  held[VK_SHIFT] = held[VK_LSHIFT] = 0x80;
  SetKeyboardState(held);
  postKey(window, vk);
  // Its posted strokes are taken before a second sent message is served
  // (see pressKeys).
  act(top, WM_NULL, 0, 0);
  act(top, WM_NULL, 0, 0);
  SetKeyboardState(saved);
  AttachThreadInput(mine, theirs, FALSE);
}

// "key": KEY or shift+KEY.
void keyStep(HWND window, const std::string& key) {
  if (key.compare(0, 6, "shift+") == 0) {
    postShiftedKey(window, virtualKey(key.substr(6)));
  } else {
    postKey(window, virtualKey(key));
  }
}

// The client area of the current window's top-level window as the screen
// shows it, written to PATH as a 24-bit BMP file (bottom-up rows of blue,
// green, red, each padded to 4 bytes).
void capture(const std::string& path) {
  HWND top = GetAncestor(currentWindow(), GA_ROOT);
  RECT r = {};
  GetClientRect(top, &r);
  MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) fail("the window has no area to capture");
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file keeps its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + imageBytes;
  info.bmiHeader.biSizeImage = imageBytes;
  FILE* out = std::fopen(path.c_str(), "wb");
  const bool written = out != nullptr && std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                       std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                       std::fwrite(bits, 1, imageBytes, out) == imageBytes;
  if (out != nullptr) std::fclose(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!written) fail("the capture could not be written to " + quoted(path));
}

// The control that has the keyboard focus in the thread of `window`.
HWND focusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void addKey(std::vector<INPUT>* inputs, WORD vk, bool up) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs->push_back(in);
}

void addCharacter(std::vector<INPUT>* inputs, wchar_t ch) {
  for (bool up : {false, true}) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wScan = ch;
    in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    inputs->push_back(in);
  }
}

// Real key strokes: the window is brought to the foreground (its thread then
// has the keyboard), the strokes go through the system's input queue, and
// the step ends once the program's thread has taken them all. A thread
// serves a sent message before its input, so one message sent after a
// stroke may come back before the stroke was taken; a second one, sent once
// the first came back, is served only after the thread has handled it (or
// a notice it opened is taking its messages).
void pressKeys(const Step& s) {
  HWND top = GetAncestor(currentWindow(), GA_ROOT);
  std::vector<INPUT> inputs;
  for (std::size_t i = 1; i < s.word.size(); ++i) {
    std::string w = s.word[i];
    if (w.compare(0, 5, "text:") == 0) {
      for (wchar_t ch : wideOf(w.substr(5))) addCharacter(&inputs, ch);
      continue;
    }
    std::vector<WORD> modifiers;
    for (;;) {
      if (w.compare(0, 6, "shift+") == 0) {
        modifiers.push_back(VK_SHIFT);
        w = w.substr(6);
      } else if (w.compare(0, 5, "ctrl+") == 0) {
        modifiers.push_back(VK_CONTROL);
        w = w.substr(5);
      } else if (w.compare(0, 4, "alt+") == 0) {
        modifiers.push_back(VK_MENU);
        w = w.substr(4);
      } else {
        break;
      }
    }
    const UINT vk = keyOf(w);
    if (vk == 0) fail("unknown key " + quoted(s.word[i]));
    for (WORD m : modifiers) addKey(&inputs, m, false);
    addKey(&inputs, static_cast<WORD>(vk), false);
    addKey(&inputs, static_cast<WORD>(vk), true);
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m) addKey(&inputs, *m, true);
  }
  DWORD start = GetTickCount();
  while (GetForegroundWindow() != top) {
    SetForegroundWindow(top);
    if (GetForegroundWindow() == top) break;
    if (!guardLeft(start))
      timedOut("the window " + run.windowName + " could not be brought to the foreground");
    Sleep(kPollMs);
  }
  for (const INPUT& in : inputs) {
    INPUT one = in;
    if (SendInput(1, &one, sizeof(INPUT)) != 1) fail("the system took no input");
    // One stroke at a time, each taken before the next: a key that opens a
    // notice moves the keyboard there, and the rest goes to the notice as it
    // would for a person typing on.
    act(top, WM_NULL, 0, 0);
    act(top, WM_NULL, 0, 0);
  }
}

void pressKey(const Notice& n, const std::string& key) {
  postKey(n.window, virtualKey(key));
  waitClosed(n, "the key " + key);
}

WORD focusCode(HWND c, bool gained) {
  std::string cls = classOf(c);
  if (lstrcmpiA(cls.c_str(), "Edit") == 0) return gained ? EN_SETFOCUS : EN_KILLFOCUS;
  if (lstrcmpiA(cls.c_str(), "ComboBox") == 0) return gained ? CBN_SETFOCUS : CBN_KILLFOCUS;
  if (lstrcmpiA(cls.c_str(), "ListBox") == 0) return gained ? LBN_SETFOCUS : LBN_KILLFOCUS;
  return gained ? BN_SETFOCUS : BN_KILLFOCUS;
}

const std::vector<CommandDef>& commands() {
  static const std::vector<CommandDef> defs = {
      {"window", "t", [](const Step& s) { findWindow(s, true); }},
      {"title", "t", [](const Step& s) { findWindow(s, false); }},
      {"timeout", "n",
       [](const Step& s) {
         if (s.num(1) < 1 || s.num(1) > 3600) fail("a timeout is 1 to 3600 seconds");
         run.guardMs = static_cast<DWORD>(s.num(1)) * 1000;
       }},
      {"sleep", "n", [](const Step& s) { Sleep(static_cast<DWORD>(s.num(1))); }},
      {"print", "i",
       [](const Step& s) {
         std::printf("%s: %s\n", s.word[1].c_str(), oneLine(textOf(control(s))).c_str());
         std::fflush(stdout);
       }},
      {"capture", "t", [](const Step& s) { capture(s.word[1]); }},
      {"print-focus", "",
       [](const Step&) {
         HWND f = focusOf(currentWindow());
         std::printf("focus: %d\n", f != nullptr ? GetDlgCtrlID(f) : 0);
         std::fflush(stdout);
       }},
      {"children", "",
       [](const Step&) {
         EnumChildWindows(currentWindow(), printChild, 0);
         std::fflush(stdout);
       }},
      {"click", "i",
       [](const Step& s) { notifyParent(workable(s), s.id(1), BN_CLICKED); }},
      {"open-click", "i",
       [](const Step& s) {
         HWND c = workable(s);
         PostMessageA(currentWindow(), WM_COMMAND, MAKEWPARAM(s.id(1), BN_CLICKED),
                      reinterpret_cast<LPARAM>(c));
       }},
      {"check", "ib",
       [](const Step& s) {
         HWND c = workable(s);
         LONG type = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
         bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
         bool want = s.word[2] == "1";
         if (radio && !want) fail("a radio button is cleared by checking another of its group");
         if (!radio && (ask(c, BM_GETCHECK, 0, 0) == BST_CHECKED) == want) return;
         if (radio && type == BS_AUTORADIOBUTTON) {
           // What a click does to an automatic radio button's group.
           HWND parent = currentWindow();
           for (HWND o = GetNextDlgGroupItem(parent, c, FALSE); o != nullptr && o != c;
                o = GetNextDlgGroupItem(parent, o, FALSE)) {
             LONG t = GetWindowLongA(o, GWL_STYLE) & BS_TYPEMASK;
             if (t == BS_AUTORADIOBUTTON) ask(o, BM_SETCHECK, BST_UNCHECKED, 0);
           }
         }
         ask(c, BM_SETCHECK, want ? BST_CHECKED : BST_UNCHECKED, 0);
         notifyParent(c, s.id(1), BN_CLICKED);
       }},
      {"type", "it",
       [](const Step& s) { act(workable(s), WM_SETTEXT, 0, 0, s.word[2]); }},
      {"choose", "it",
       [](const Step& s) {
         HWND c = workable(s);
         std::vector<std::string> items = comboItems(c);
         std::size_t i = 0;
         while (i < items.size() && items[i] != s.word[2]) ++i;
         if (i == items.size())
           fail("no entry " + quoted(s.word[2]) + " in control " + s.control() + ": " +
                quoted(joined(items)));
         ask(c, CB_SETCURSEL, i, 0);
         notifyParent(c, s.id(1), CBN_SELCHANGE);
       }},
      {"slide", "in",
       [](const Step& s) {
         HWND c = workable(s);
         ask(c, TBM_SETPOS, TRUE, s.num(2));
         UINT message = (GetWindowLongA(c, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
         act(currentWindow(), message, MAKEWPARAM(TB_THUMBPOSITION, s.num(2)),
             reinterpret_cast<LPARAM>(c));
       }},
      {"focus", "i",
       [](const Step& s) {
         HWND c = workable(s);
         notifyParent(c, s.id(1), focusCode(c, true));
       }},
      {"unfocus", "i",
       [](const Step& s) {
         HWND c = control(s);
         notifyParent(c, s.id(1), focusCode(c, false));
       }},
      {"sysmenu", "i",
       [](const Step& s) { act(currentWindow(), WM_SYSCOMMAND, s.id(1), 0); }},
      {"close", "", [](const Step&) { act(currentWindow(), WM_CLOSE, 0, 0); }},
      {"keys", "it",
       [](const Step& s) {
         HWND c = workable(s);
         const std::size_t before = openNotices().size();
         for (char ch : s.word[2]) {
           // Each character is an action of its own; a notice raised by one
           // takes the keyboard, so the rest is not typed.
           if (openNotices().size() > before)
             fail("a notice opened before the whole text was typed: " + openNoticeTexts());
           act(c, WM_CHAR, static_cast<unsigned char>(ch), 1);
         }
       }},
      {"caret", "it",
       [](const Step& s) {
         HWND c = workable(s);
         long at = caretPosition(c, s.word[2]);
         ask(c, EM_SETSEL, static_cast<WPARAM>(at), at);
       }},
      {"key", "t",
       [](const Step& s) { keyStep(currentWindow(), s.word[1]); }},
      {"move", "nn",
       [](const Step& s) {
         HWND top = GetAncestor(currentWindow(), GA_ROOT);
         if (!SetWindowPos(top, nullptr, static_cast<int>(s.num(1)), static_cast<int>(s.num(2)), 0,
                           0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
           fail("the window could not be moved");
       }},
      {"print-place", "i",
       [](const Step& s) {
         HWND c = control(s);
         RECT r = {};
         GetWindowRect(c, &r);
         MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
         std::printf("%s: %ld %ld %ld %ld\n", s.word[1].c_str(), r.left, r.top, r.right - r.left,
                     r.bottom - r.top);
         std::fflush(stdout);
       }},
      {"press", "t|tttttttttttttttttttt", [](const Step& s) { pressKeys(s); }},
      {"double-click", "i",
       [](const Step& s) {
         HWND c = workable(s);
         RECT r = {};
         GetClientRect(c, &r);
         LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
         PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, at);
         PostMessageA(c, WM_LBUTTONUP, 0, at);
         PostMessageA(c, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
         PostMessageA(c, WM_LBUTTONUP, 0, at);
       }},
      {"post-command", "in",
       [](const Step& s) {
         HWND c = control(s);
         for (long i = 0; i < s.num(2); ++i)
           PostMessageA(currentWindow(), WM_COMMAND, MAKEWPARAM(s.id(1), BN_CLICKED),
                        reinterpret_cast<LPARAM>(c));
       }},
      {"wait-notice", "|t",
       [](const Step& s) { checkMessage(waitNotice(s, 1), s, 1); }},
      {"notice", "a|t",
       [](const Step& s) {
         Notice n = waitNotice(s, 2);
         checkMessage(n, s, 2);
         press(n, s.num(1));
       }},
      {"wait-notice-gone", "",
       [](const Step&) {
         DWORD start = GetTickCount();
         while (noticeOpen()) {
           if (!guardLeft(start)) timedOut("a notice was still open after " + guardText());
           Sleep(kPollMs);
         }
       }},
      {"notice-key", "t|t",
       [](const Step& s) {
         Notice n = waitNotice(s, 2);
         checkMessage(n, s, 2);
         pressKey(n, s.word[1]);
       }},
      {"expect-notice-buttons", "tt|t",
       [](const Step& s) {
         Notice n = waitNotice(s, 3);
         if (n.first != s.word[1] || n.second != s.word[2])
           fail("expected the buttons " + quoted(s.word[1]) + " and " + quoted(s.word[2]) +
                ", found " + quoted(n.first) + " and " + quoted(n.second));
       }},
      {"expect-notice-topmost", "",
       [](const Step&) {
         Notice n = waitNotice();
         if ((GetWindowLongA(n.window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0)
           fail("expected the notice to be topmost; it is not");
       }},
      {"no-notice", "n",
       [](const Step& s) {
         DWORD start = GetTickCount();
         do {
           Notice n;
           if (readNotice(&n)) fail("expected no notice, found " + quoted(oneLine(n.message)));
           Sleep(kPollMs);
         } while (GetTickCount() - start < static_cast<DWORD>(s.num(1)));
       }},
  };
  return defs;
}

// ------------------------------------------------------ property sheets ---
//
// A wizard (a property sheet) shows one page at a time inside the sheet's
// window; under Wine the sheet's title is the active page's title, not its
// own caption. These commands make the active page the current window, so
// the usual commands work its controls, and work the sheet's own buttons:
//
//   page TITLE                     wait for a visible sheet whose active page
//                                  is titled TITLE; that page becomes the
//                                  current window
//   open-page ID TITLE             click control ID of the current window,
//                                  whose handler shows a sheet modally (and
//                                  so returns only when it closes), then as
//                                  "page TITLE"
//   sheet-press BUTTON             PSM_PRESSBUTTON to the current page's
//                                  sheet; BUTTON is back, next, finish or
//                                  cancel, and must be usable (shown and
//                                  enabled), as for a person
//   expect-sheet-button BUTTON B   B = 1: the button is shown and enabled
//   wait-sheet-button BUTTON B

struct SheetButton {
  const char* name;
  int press;  // PSM_PRESSBUTTON's index
  int id;     // the button's control id in the sheet
};
const SheetButton kSheetButtons[] = {
    {"back", PSBTN_BACK, 0x3023},
    {"next", PSBTN_NEXT, 0x3024},
    {"finish", PSBTN_FINISH, 0x3025},
    {"cancel", PSBTN_CANCEL, IDCANCEL},
};

const SheetButton& sheetButton(const std::string& name) {
  for (const SheetButton& b : kSheetButtons)
    if (name == b.name) return b;
  fail("no sheet button " + quoted(name) + " (back, next, finish or cancel)");
}

HWND currentSheet() {
  HWND sheet = GetParent(currentWindow());
  if (sheet == nullptr || ask(sheet, PSM_GETCURRENTPAGEHWND, 0, 0) == 0)
    fail("the window " + run.windowName + " is not a page of a property sheet");
  return sheet;
}

bool sheetButtonUsable(const SheetButton& b) {
  HWND button = GetDlgItem(currentSheet(), b.id);
  return button != nullptr && IsWindowVisible(button) && IsWindowEnabled(button);
}

BOOL CALLBACK matchPage(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(w) || classOf(w) != "#32770") return TRUE;
  DWORD_PTR page = 0;
  if (SendMessageTimeoutA(w, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, 1000, &page) == 0 ||
      page == 0)
    return TRUE;
  HWND p = reinterpret_cast<HWND>(page);
  if (*s->title != windowText(p) || !IsWindowVisible(p)) return TRUE;
  s->found = p;
  return FALSE;
}

void waitPage(const std::string& title) {
  DWORD start = GetTickCount();
  for (;;) {
    Search search{nullptr, &title, nullptr};
    EnumWindows(matchPage, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      run.window = search.found;
      run.windowName = "page " + quoted(title);
      return;
    }
    if (!guardLeft(start))
      timedOut("no sheet showing the page " + quoted(title) + " within " + guardText() +
               "; visible windows: " + visibleWindows());
    Sleep(kPollMs);
  }
}

const std::vector<CommandDef>& sheetCommands() {
  static const std::vector<CommandDef> defs = {
      {"page", "t", [](const Step& s) { waitPage(s.word[1]); }},
      {"open-page", "it",
       [](const Step& s) {
         HWND c = workable(s);
         // Delivered from a thread that is left waiting for the handler.
         auto* d = new Delivery{currentWindow(), WM_COMMAND, MAKEWPARAM(s.id(1), BN_CLICKED),
                                reinterpret_cast<LPARAM>(c), "", run.guardMs};
         HANDLE thread = CreateThread(nullptr, 0, deliver, d, 0, nullptr);
         if (thread == nullptr) {
           delete d;
           fail("no thread to deliver the message");
         }
         CloseHandle(thread);
         waitPage(s.word[2]);
       }},
      {"sheet-press", "t",
       [](const Step& s) {
         const SheetButton& b = sheetButton(s.word[1]);
         if (!sheetButtonUsable(b)) fail("the sheet's button " + quoted(b.name) + " is not usable");
         HWND sheet = currentSheet();
         act(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(b.press), 0);
         // A modal sheet looks whether it has ended only when its message
         // loop takes the next posted message; a person's click is one, a
         // message sent from here is not.
         PostMessageA(sheet, WM_NULL, 0, 0);
       }},
      {"expect-sheet-button", "tb",
       [](const Step& s) {
         const SheetButton& b = sheetButton(s.word[1]);
         if (sheetButtonUsable(b) != (s.word[2] == "1"))
           fail("expected the sheet's button " + quoted(b.name) + " usable = " + s.word[2]);
       }},
      {"wait-sheet-button", "tb",
       [](const Step& s) {
         const SheetButton& b = sheetButton(s.word[1]);
         DWORD start = GetTickCount();
         while (sheetButtonUsable(b) != (s.word[2] == "1")) {
           if (!guardLeft(start))
             timedOut("waited " + guardText() + " for the sheet's button " + quoted(b.name) +
                      " usable = " + s.word[2]);
           Sleep(kPollMs);
         }
       }},
  };
  return defs;
}

// The command of a step and its argument kinds; false when it has none.
bool lookUp(const std::string& name, const char** args, std::function<void(const Step&)>* fn) {
  for (const CommandDef& d : sheetCommands())
    if (name == d.name) {
      *args = d.args;
      *fn = d.run;
      return true;
    }
  for (const CommandDef& d : commands())
    if (name == d.name) {
      *args = d.args;
      *fn = d.run;
      return true;
    }
  for (const CheckDef& d : checks()) {
    for (bool wait : {false, true}) {
      if (name == std::string(wait ? "wait-" : "expect-") + d.name) {
        *args = d.args;
        const CheckDef* def = &d;
        *fn = [def, wait](const Step& s) { runCheck(*def, s, wait); };
        return true;
      }
    }
  }
  return false;
}

bool argumentsFit(const char* args, const Step& s, std::string* why) {
  std::string required, optional;
  const char* bar = std::strchr(args, '|');
  required = bar ? std::string(args, bar) : args;
  optional = bar ? bar + 1 : "";
  std::size_t n = s.word.size() - 1;
  if (n < required.size() || n > required.size() + optional.size()) {
    *why = "takes " + std::to_string(required.size()) +
           (optional.empty() ? "" : " or " + std::to_string(required.size() + optional.size())) +
           " arguments, has " + std::to_string(n);
    return false;
  }
  std::string kinds = required + optional;
  for (std::size_t i = 0; i < n; ++i) {
    if (!argumentFits(kinds[i], s.word[i + 1])) {
      const char* what = kinds[i] == 'n' ? "a number" : kinds[i] == 'b' ? "0 or 1" : "1 or 2";
      if (kinds[i] == 'i') what = "an id: a number or a name such as CTL_START";
      *why = "argument " + std::to_string(i + 1) + " (" + quoted(s.word[i + 1]) + ") must be " +
             what;
      return false;
    }
  }
  return true;
}

int usage() {
  std::fprintf(stdout, "usage: windriver.exe [--timeout=SECONDS] [SCRIPT]\n");
  return kSyntax;
}

}  // namespace

int main(int argc, char** argv) {
  // Plain "\n" line ends on stdout, whatever reads it.
  _setmode(_fileno(stdout), _O_BINARY);
  const char* scriptPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--timeout=", 10) == 0) {
      std::string v = argv[i] + 10;
      if (!isNumber(v) || std::atol(v.c_str()) < 1 || std::atol(v.c_str()) > 3600) return usage();
      run.guardMs = static_cast<DWORD>(std::atol(v.c_str())) * 1000;
    } else if (scriptPath == nullptr) {
      scriptPath = argv[i];
    } else {
      return usage();
    }
  }
  FILE* in = stdin;
  if (scriptPath != nullptr && std::strcmp(scriptPath, "-") != 0) {
    in = std::fopen(scriptPath, "rb");
    if (in == nullptr) {
      std::printf("windriver: cannot open the script %s\n", scriptPath);
      return kSyntax;
    }
  }

  // The whole script is read and checked before anything runs.
  std::vector<Step> steps;
  std::vector<std::function<void(const Step&)>> actions;
  std::string line;
  int number = 0;
  bool more = true;
  while (more) {
    int c = std::fgetc(in);
    if (c != EOF && c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    more = c != EOF;
    if (!more && line.empty()) break;
    ++number;
    Step s;
    s.line = number;
    s.source = line;
    line.clear();
    while (!s.source.empty() && (s.source.back() == '\r' || s.source.back() == ' '))
      s.source.pop_back();
    std::string why;
    if (!splitWords(s.source, &s.word, &why)) {
      std::printf("line %d: %s: %s\n", s.line, s.source.c_str(), why.c_str());
      return kSyntax;
    }
    if (s.word.empty() || s.word[0][0] == '#') continue;
    const char* args = nullptr;
    std::function<void(const Step&)> fn;
    if (!lookUp(s.word[0], &args, &fn)) {
      std::printf("line %d: %s: no command %s\n", s.line, s.source.c_str(), quoted(s.word[0]).c_str());
      return kSyntax;
    }
    if (!argumentsFit(args, s, &why)) {
      std::printf("line %d: %s: %s %s\n", s.line, s.source.c_str(), s.word[0].c_str(), why.c_str());
      return kSyntax;
    }
    steps.push_back(s);
    actions.push_back(fn);
  }
  if (in != stdin) std::fclose(in);

  for (std::size_t i = 0; i < steps.size(); ++i) {
    try {
      actions[i](steps[i]);
    } catch (const Stop& stop) {
      std::printf("line %d: %s: %s\n", steps[i].line, steps[i].source.c_str(), stop.why.c_str());
      std::fflush(stdout);
      return stop.code;
    }
  }
  return kPassed;
}
