// Trep.exe: the Windows program. A command line with "/i=" runs one job
// without a window; every other start opens the main window.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/startup.h"
#include "app/main_window.h"
#include "dialogs/notice_dialog.h"
#include "platform/win32/wide.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

int run() {
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  NoticeDialog notices;
  platform->setNoticeAnswerer(&notices);

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
  // UTF-8 of the wide command line: a path in any script arrives whole.
  record->commandLine = narrow(GetCommandLineW());

  prepareStart(*app, *platform);
  CommandLineArguments args(record->commandLine);
  if (!readSwitches(*app, *platform, args)) return kExitUsage;
  if (app->job.sourceValid && !app->refused) return runBatch(*app, *platform);
  // Quiet: nobody is there to work a window. A file or folder the switches
  // named but that led to no job ends the run with the usage code, as trep
  // does, rather than 0 for a job that never ran.
  if (app->job.quiet && (app->sawInputSwitch || app->refused)) return kExitUsage;
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
