// A test tool: answers Trep.exe's notices the way a person would, by
// pressing a button of the message box, so the whole-program tests can run
// the Windows program's questions under Wine on a virtual display.
//
//   answer.exe [--timeout=SECONDS] ANSWER...
//
// Each ANSWER is 1 (the upper button, id 1) or 2 (the lower button, id 2).
// For each one in turn it waits for a top-level window titled "Trep 1.6",
// prints the notice's text (UTF-8) on one line of stdout (every line break shown as
// " | ") followed by the two captions in brackets, presses the button and waits until the notice is gone before it
// looks for the next.
//
// Exit code: 0 after the last answer, 2 for a usage error, 3 when the
// overall timeout (default 60 s) ran out first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_texts.h"

namespace {

constexpr char kTitle[] = TREP_NOTICE_TITLE;
constexpr DWORD kPollMs = 50;
// The notice's message field.
constexpr int kTextId = 1601;

// A control's text as UTF-8, read as wide text so any script comes through.
std::string itemText(HWND box, int id) {
  wchar_t text[4096] = {0};
  GetDlgItemTextW(box, id, text, 4096);
  char utf8[4096 * 3] = {0};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8) - 1, nullptr, nullptr);
  return utf8;
}

// The message text of the notice, empty while it is still being built.
std::string messageOf(HWND box) { return itemText(box, kTextId); }

std::string oneLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += " | ";
      ++i;
    } else if (text[i] == '\r' || text[i] == '\n') {
      out += " | ";
    } else {
      out += text[i];
    }
  }
  return out;
}

bool timeLeft(DWORD start, DWORD limitMs) { return GetTickCount() - start < limitMs; }

int usage() {
  std::fprintf(stderr, "usage: answer.exe [--timeout=SECONDS] ANSWER...  (each ANSWER 1 or 2)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD limitMs = 60 * 1000;
  std::vector<int> answers;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strncmp(a, "--timeout=", 10) == 0) {
      char* end = nullptr;
      unsigned long seconds = std::strtoul(a + 10, &end, 10);
      if (end == a + 10 || *end != '\0' || seconds == 0 || seconds > 3600) return usage();
      limitMs = static_cast<DWORD>(seconds * 1000);
    } else if (std::strcmp(a, "1") == 0 || std::strcmp(a, "2") == 0) {
      answers.push_back(a[0] - '0');
    } else {
      return usage();
    }
  }
  if (answers.empty()) return usage();

  const DWORD start = GetTickCount();
  for (std::size_t n = 0; n < answers.size(); ++n) {
    // A box counts once it is visible, holds its text and both buttons:
    // until then it may still be between its creation and its first paint.
    HWND box = nullptr, button = nullptr;
    std::string text;
    const int id = answers[n];
    for (;;) {
      HWND w = FindWindowA(nullptr, kTitle);
      if (w != nullptr && IsWindowVisible(w)) {
        text = messageOf(w);
        button = GetDlgItem(w, id);
        if (!text.empty() && button != nullptr && GetDlgItem(w, 3 - id) != nullptr) {
          box = w;
          break;
        }
      }
      if (!timeLeft(start, limitMs)) {
        std::fprintf(stderr, "answer.exe: no \"%s\" box for answer %u of %u\n", kTitle,
                     static_cast<unsigned>(n + 1), static_cast<unsigned>(answers.size()));
        return 3;
      }
      Sleep(kPollMs);
    }
    std::printf("%s [%s] [%s]\n", oneLine(text).c_str(), itemText(box, 1).c_str(),
                itemText(box, 2).c_str());
    std::fflush(stdout);

    // What a click on the button sends to its dialog.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    while (IsWindow(box)) {
      if (!timeLeft(start, limitMs)) {
        std::fprintf(stderr, "answer.exe: the box of answer %u did not close\n",
                     static_cast<unsigned>(n + 1));
        return 3;
      }
      Sleep(kPollMs);
    }
  }
  return 0;
}
