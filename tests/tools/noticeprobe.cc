// A test tool: raises notices through Trep.exe's own notice dialog, one per
// argument, so the window tests can answer them by keyboard, by button or by
// letting them time out, and see what the caller got back.
//
//   noticeprobe.exe NOTICE...     each NOTICE is "message|upper|lower|timeout|kind"
//
// Prints one line per notice when it closes: "answer A result R", A being
// what the caller got and R the process-wide last answer. Fields left out
// are empty (timeout 0, kind 10).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/notice_dialog.h"

namespace {

std::vector<std::string> fields(const std::string& s) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == '|') out.emplace_back();
    else out.back() += c;
  }
  out.resize(5);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: noticeprobe.exe \"message|upper|lower|timeout|kind\"...\n");
    return 2;
  }
  trep::NoticeDialog dialog;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::string> f = fields(argv[i]);
    trep::NoticeParameters p;
    p.message = f[0];
    p.firstButton = f[1];
    p.secondButton = f[2];
    p.timeoutSeconds = static_cast<uint32_t>(std::strtoul(f[3].c_str(), nullptr, 10));
    p.kind = f[4].empty() ? 10 : static_cast<uint32_t>(std::strtoul(f[4].c_str(), nullptr, 10));
    uint32_t a = dialog.answer(p);
    std::printf("answer %u result %u\n", a, trep::noticeResult());
    std::fflush(stdout);
  }
  return 0;
}
