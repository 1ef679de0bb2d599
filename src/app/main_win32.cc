// Trep.exe: the Windows program. A command line with "/i=" runs one job
// without a window; every other start opens the main window.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/startup.h"
#include "platform/win32/message_box_answerer.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

// Made once at start-up, kept for the life of the process.
struct StartupRecord {
  HINSTANCE module = nullptr;
  HWND tooltipWindow = nullptr;  // every control tooltip is registered with it
  HICON smallIcon = nullptr;
  HICON largeIcon = nullptr;
};

StartupRecord* gStartup = nullptr;
HWND gMainWindow = nullptr;

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int runInteractive(App& app) {
  app.job.quiet = 0;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = mainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = DLGWINDOWEXTRA;  // the class will carry a dialog template
  wc.hInstance = gStartup->module;
  wc.hIcon = gStartup->largeIcon;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = "Trep";
  wc.hIconSm = gStartup->smallIcon;
  RegisterClassExA(&wc);

  gMainWindow = CreateWindowExA(0, "Trep", "Trep 1.91", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 420, 300, nullptr, nullptr,
                                gStartup->module, nullptr);
  if (gMainWindow == nullptr) return static_cast<int>(app.job.jobResult.load());
  ShowWindow(gMainWindow, SW_SHOWNORMAL);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(gMainWindow, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(app.job.jobResult.load());
}

int run() {
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  MessageBoxAnswerer answerer;
  platform->setNoticeAnswerer(&answerer);

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
  gStartup = record.get();

  prepareStart(*app, *platform);
  CommandLineArguments args(GetCommandLineA());
  if (!readSwitches(*app, *platform, args)) return kExitUsage;
  if (app->job.sourceValid && !app->refused) return runBatch(*app, *platform);
  return runInteractive(*app);
}

}  // namespace
}  // namespace trep

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // ExitProcess rather than a return: a job thread may still hold files.
  ExitProcess(static_cast<UINT>(trep::run()));
}
