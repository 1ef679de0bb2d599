// The main window of Trep.exe: made from the template "MAINDIALOG", whose
// class "Trep" has the procedure below; there is no dialog procedure. It owns
// every command of interactive mode, starts jobs on a worker thread and
// follows them with a 500 ms timer.
#ifndef TREP_APP_MAIN_WINDOW_H_
#define TREP_APP_MAIN_WINDOW_H_

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/startup.h"
#include "dialogs/window_controls.h"
#include "dialogs/wizard.h"
#include "planning/size_arithmetic.h"

namespace trep {


// Made once at start-up, kept for the life of the process.
struct StartupRecord {
  HINSTANCE module = nullptr;
  HWND tooltipWindow = nullptr;  // every control tooltip is registered with it
  HICON smallIcon = nullptr;
  HICON largeIcon = nullptr;
  std::string commandLine;
};

// Timers of the main window.
constexpr UINT_PTR kJobTimer = 1;   // 500 ms while a job runs
constexpr UINT_PTR kInitTimer = 5;  // one 1 ms tick after creation
constexpr UINT kJobTimerMs = 500;
// How long the process waits, after the window's Quit, for a stopped job
// to clean up: it takes a chunk at most, unless a drive stopped answering.
constexpr uint32_t kQuitWaitMs = 30000;
// The system-menu item that flips "always on top".
constexpr UINT kOnTopToggle = 5000;

class MainWindow : public WizardHost {
 public:
  MainWindow(App& app, Platform& platform, StartupRecord& startup);

  // Registers the class, creates and shows the window and runs the message
  // loop until the window is destroyed. Returns the process exit code: the
  // result of the last job, 0 when none ran.
  int run();

  // WizardHost.
  JobSettings& job() override { return app_.job; }
  PersistedSettings& options() override { return app_.options; }
  Platform& platform() override { return platform_; }
  SizeState& sizes() override { return app_.sizes; }
  HWND tooltips() override { return startup_.tooltipWindow; }
  int firstArgument(std::string* path) override;
  void saveSettings() override;
  void dropPath(Controls& target, const std::string& path) override;
  Controls& mainControls() override { return *controls_; }
  HWND mainWindow() override { return window_; }
  void startJob() override;

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  PlanningContext planning() { return PlanningContext{app_.job, app_.options, platform_, *controls_, app_.sizes}; }
  void initMainWindow();
  bool takesCommand(int id, int code) const;
  void keepFocus();
  void markCheckedMode();
  void command(int id);
  void startCommand();
  void readOptions();
  void onJobTimer();
  void onDrop(HDROP drop);
  void toggleOnTop();
  void openWizard();
  void showAbout();
  void quit();
  bool jobRunning() const;
  void endWindow();

  App& app_;
  Platform& platform_;
  StartupRecord& startup_;
  HWND window_ = nullptr;
  std::unique_ptr<WindowControls> controls_;
  std::unique_ptr<WindowJobFields> jobFields_;
  std::unique_ptr<Planner> planner_;
  // Set by the worker as its last act; the monitor ends the job only then,
  // so nothing of a job is still running when the window returns to idle.
  std::shared_ptr<std::atomic<bool>> workerDone_;
  bool workerHeld_ = false;
  bool aboutOpen_ = false;
  bool initialised_ = false;
  // Set while the dialog manager handles the Esc key, which it delivers as
  // the command of control 2 ("Quit"): Esc must not quit.
  bool escapeKey_ = false;
  // "Abort the running job?" is open: the monitor leaves the job's end to
  // be handled once it is answered.
  bool askingToQuit_ = false;
  // The user chose to abort and quit: the window ends once the worker has.
  bool quitting_ = false;
  DWORD quitAskedAt_ = 0;  // GetTickCount() when an abort-and-quit was chosen
};

}  // namespace trep

#endif  // TREP_APP_MAIN_WINDOW_H_
