// Trep.exe: the Windows program. A command line with "/i=" runs one job
// without a window; every other start opens the main window.
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <memory>
#include <string>

#include "app/startup.h"
#include "app/main_window.h"
#include "dialogs/notice_dialog.h"
#include "platform/win32/wide.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

// Seconds a notice about the command line stays open: a script that started
// the program waits no longer than that for it to end.
constexpr uint32_t kCommandLineNoticeSeconds = 10;

constexpr char kSwitchesTaken[] =
    "Trep.exe takes /i=FILE, /o=FOLDER, /s=KBYTES and /q, each once.";

// A notice about the command line, closing itself after a while.
void tell(Platform& platform, const std::string& text) {
  if (raiseNotice(platform, text, kOk, kOpenReadMe, kCommandLineNoticeSeconds) == kLowerButton)
    platform.openReadMe();
}

int run() {
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  NoticeDialog notices;
  platform->setNoticeAnswerer(&notices);

  // The whole line is read before anything is made. A lone argument that is
  // no switch is the file to open in the main window (a double-clicked
  // segment).
  // UTF-8 of the wide command line: a path in any script arrives whole.
  const std::string commandLine = narrow(GetCommandLineW());
  CommandLine line = readCommandLine(CommandLineArguments(commandLine), true);
  switch (line.request) {
    case CommandLine::Request::kHelp:
      tell(*platform, std::string("Trep.exe /i=FILE [/o=FOLDER] [/s=KBYTES] [/q]. ") +
                          "Without /i= the main window opens. ReadMe explains the switches.");
      return 0;
    case CommandLine::Request::kVersion:
      tell(*platform, kProgramTitle);
      return 0;
    case CommandLine::Request::kRefused: {
      std::string text = line.refusal;
      text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
      tell(*platform, text + ". " + kSwitchesTaken);
      return kExitUsage;
    }
    case CommandLine::Request::kSwitches:
      break;
  }

  // Start-up record.
  auto record = std::make_unique<StartupRecord>();
  record->module = GetModuleHandleA(nullptr);
  auto app = std::make_unique<App>();
  findFolders(*app, *platform);
  if (!takeInstanceLock(*platform)) return kExitAnotherInstance;  // no notice
  record->smallIcon = static_cast<HICON>(
      LoadImageA(record->module, MAKEINTRESOURCEA(kIconProgram), IMAGE_ICON, 16, 16, 0));
  record->largeIcon = static_cast<HICON>(
      LoadImageA(record->module, MAKEINTRESOURCEA(kIconProgram), IMAGE_ICON, 32, 32, 0));
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  record->tooltipWindow =
      CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                      record->module, nullptr);
  record->commandLine = commandLine;

  prepareStart(*app, *platform);
  readSwitches(*app, *platform, line);
  if (app->job.sourceValid) return runBatch(*app, *platform);
  if (app->sawInputSwitch && app->job.quiet) {
    // Quiet asks for no window: a script waits for this process to end.
    bool told = false;
    std::string why = whyNotTaken(*app, &told);
    if (!told) tell(*platform, "\"" + app->lastInput + "\": " + why + ".");
    return kExitUsage;
  }
  // The folder browser and the shell's calls want COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MainWindow window(*app, *platform, *record);
  return window.run();
}

}  // namespace
}  // namespace trep

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // ExitProcess rather than a return: a job thread may still hold files.
  ExitProcess(static_cast<UINT>(trep::run()));
}
