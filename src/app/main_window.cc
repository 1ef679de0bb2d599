#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <thread>

#include "app/association.h"
#include "app/command_line.h"
#include "app/settings_file.h"
#include "dialogs/choosers.h"
#include "dialogs/notice_dialog.h"
#include "engine/checksum.h"
#include "planning/destination.h"
#include "planning/mode_controls.h"
#include "planning/size_summary.h"
#include "planning/source_analysis.h"
#include "planning/wizard_pages.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

MainWindow* gMainWindow = nullptr;  // the one main window; its procedure finds it here

const char* const kRebuildMethods[] = {"Trep", "BAT file"};
const char* const kMemoryOptions[] = {"Maximum", "Physical", "Half"};

inline constexpr char kQuitTrep[] = "Quit Trep";
inline constexpr char kAbortQuestion[] = "Abort the running job?";
inline constexpr char kAbortAndQuit[] = "Abort and Quit";
inline constexpr char kContinueJob[] = "Continue the job";

// Whether a notification is a use of its control that may change the job: a
// click, a changed text, a chosen entry. Gaining or losing the focus, a
// list opening or closing, and the EN_UPDATE before each EN_CHANGE are not:
// run as commands they analysed the file again on a click into its field,
// put the Desktop back as output folder, and asked a series' question twice.
bool isUse(int id, int code) {
  switch (id) {
    case CTL_SOURCE_PATH:
    case CTL_OUTPUT_FOLDER:
    case CTL_DESCRIPTION:
    case CTL_SIZE_NUMBER:
    case CTL_SEGMENT_COUNT:
    case CTL_CIPHER_KEY:
    case CTL_CRC:
    case CTL_RECOVERY_COUNT:
      return code == EN_CHANGE;
    case CTL_PRESETS:
    case CTL_REBUILD_METHOD:
    case CTL_DESTINATION:
    case CTL_MEMORY:
    case CTL_SIZE_UNIT:
      return code == CBN_SELCHANGE;
    default:
      return code == BN_CLICKED;  // buttons; also menus and the dialog keys
  }
}

// The tooltips of the main window, registered in this order. The tooltip
// window strips prefix ampersands, so "&&" shows as one.
struct Tooltip {
  int id;
  const char* text;
};
const Tooltip kTooltips[] = {
    {CTL_QUIT, "Abandon Job and Quit"},
    {CTL_CHOOSE_FILE, "Select File to Trep or UnTrep"},
    {CTL_SOURCE_PATH, "File for Trepping or UnTrepping"},
    {CTL_DESCRIPTION, "Description of the File"},
    {CTL_SIZE_NUMBER, "Size of Each Trepped Segment"},
    {CTL_USE_DESCRIPTION, "Selects if you want to use a description"},
    {CTL_ENCRYPT,
     "Selects if you want to Encrypt the Trepped File (This is not high security, but it will "
     "prevent casual file ID)"},
    {CTL_CIPHER_KEY, "Encryption String - up to 32 characters"},
    {CTL_CHOOSE_FOLDER, "Select Folder for Trepped File"},
    {CTL_DESTINATION, "Where the output will go"},
    {CTL_SEGMENT_COUNT,
     "Number of Trepped Segments (Note that not all numbers can be done due to mathematics!)"},
    {CTL_REBUILD_METHOD,
     "Rebuilding method. Use 'BAT File' if size is a ultra important or if you don't want to "
     "re-build the files."},
    {CTL_PRESETS, "Quick 'Size' setting"},
    {CTL_HELP, "Opens up the ReadMe file"},
    {CTL_ABOUT, "Trep Info"},
    {CTL_WIZARD, "Enables the Wizard next time Trep starts"},
    {CTL_USE_CRC, "Enables CRC comparison when Trepping && UnTrepping"},
    {CTL_CRC, "CRC of the last tested file"},
    {CTL_CHECK_CRC, "Checks the CRC of the current file when in Trep mode"},
    {CTL_SLIDER, "Quick set slide"},
    {CTL_MEMORY, "How much memory Trep will try to use"},
    {CTL_RECOVERY_COUNT,
     "Recovery files (PAR2) written after the segments: any this many lost or damaged "
     "segments can be rebuilt. 0 = none"},
};
inline constexpr char kAutoRunTip[] = "Set auto run for the trp file type";
inline constexpr char kAdminTip[] =
    "Runs Trep as an administrator so the auto run for the trp file type can be set";

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

MainWindow::MainWindow(App& app, Platform& platform, StartupRecord& startup)
    : app_(app), platform_(platform), startup_(startup) {}

int MainWindow::run() {
  app_.job.quiet = 0;
  gMainWindow = this;

  // Wide class, dialog and message loop: every control of the window is a
  // Unicode control, which shows and takes text in any script.
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = procedure;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = DLGWINDOWEXTRA;  // the class carries a dialog template
  wc.hInstance = startup_.module;
  wc.hIcon = startup_.largeIcon;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = L"Trep";
  wc.hIconSm = startup_.smallIcon;
  RegisterClassExW(&wc);

  // A modeless dialog with no owner and no dialog procedure: the template
  // names the class, so every message goes to `procedure`.
  window_ = CreateDialogParamW(startup_.module, L"MAINDIALOG", nullptr, nullptr, 0);
  if (window_ == nullptr) return static_cast<int>(app_.job.jobResult.load());
  setNoticeOwner(window_);
  ShowWindow(window_, SW_SHOWNORMAL);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The dialog manager turns Esc into the command of button 2, which is
    // "Quit" here; the command is told apart from a click by this flag.
    escapeKey_ = (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && msg.wParam == VK_ESCAPE;
    if (!IsDialogMessageW(window_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    escapeKey_ = false;
  }
  setNoticeOwner(nullptr);
  // A job the user quit stops within a chunk and removes the file it was
  // writing: the process waits for that, though not for ever (a write to a
  // drive that no longer answers must not hold it).
  for (uint32_t waited = 0; workerDone_ && !workerDone_->load() && waited < kQuitWaitMs;
       waited += 50)
    Sleep(50);
  return static_cast<int>(app_.job.jobResult.load());
}

// What the class procedure does not handle goes to the dialog manager's
// default procedure, not the plain window's: it moves the focus on Tab and
// Shift+Tab (WM_NEXTDLGCTL), names the default button for Enter, keeps the
// focus across activation, and draws the dialog's background.
LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gMainWindow == nullptr) return DefDlgProcW(window, message, wParam, lParam);
  return gMainWindow->handle(window, message, wParam, lParam);
}

// Whether a command may be taken now.
//
// While a notice is open on this thread, its message loop serves the window
// too, and nothing is taken: the command is dropped, not kept for later. A
// command kept for after the answer would act on what the answer changed (a
// second "Go Trep!" would start the job the first one refused or started);
// the person answers the notice, then does again what is still wanted. The
// window is the notice's owner and disabled meanwhile, so a click or key
// cannot reach it then; only a message sent to it can.
//
// A use that no person could make is dropped too: the click of a control
// that is disabled or hidden (Enter while the start button is greyed,
// repeated or sent commands, an accelerator), and any use while the window
// itself is hidden (the wizard is open) or disabled (a modal box is open).
// The changes of text that the program makes in its own fields still come
// through (EN_CHANGE): the commands guard against those themselves.
bool MainWindow::takesCommand(int id, int code) const {
  if (!initialised_ || noticeOpenOnThisThread()) return false;
  if (code == EN_CHANGE) return true;
  if (!IsWindowVisible(window_) || !IsWindowEnabled(window_)) return false;
  HWND control = GetDlgItem(window_, id);
  return control == nullptr || (IsWindowVisible(control) && IsWindowEnabled(control));
}

// The keyboard keeps a place to work from: a control that is disabled while
// it has the focus (the start button, once its job starts) leaves the focus
// nowhere, and Tab would have nothing to start from. The next control a
// person can reach takes it. Only while the window is the active one: the
// focus is never taken from another window.
void MainWindow::keepFocus() {
  if (GetActiveWindow() != window_) return;
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window_, focus) && IsWindowEnabled(focus) &&
      IsWindowVisible(focus))
    return;
  HWND next = GetNextDlgTabItem(window_, nullptr, FALSE);
  if (next != nullptr) SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
}

// The size-mode buttons are one group, reached by Tab at the checked one and
// moved within by the arrow keys, as in any dialog: only the checked button
// is a tab stop.
void MainWindow::markCheckedMode() {
  for (int id : {CTL_MODE_FAST, CTL_MODE_NUMBER, CTL_MODE_SIZE}) {
    HWND button = GetDlgItem(window_, id);
    if (button == nullptr) continue;
    LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    LONG_PTR wanted = IsDlgButtonChecked(window_, id) == BST_CHECKED ? style | WS_TABSTOP
                                                                     : style & ~WS_TABSTOP;
    if (wanted != style) SetWindowLongPtrW(button, GWL_STYLE, wanted);
  }
}

LRESULT MainWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      // The controls are made after this message: fill them at the first tick.
      window_ = window;
      controls_ = std::make_unique<WindowControls>(window, startup_.tooltipWindow);
      jobFields_ = std::make_unique<WindowJobFields>(window);
      planner_ = std::make_unique<Planner>(planning());
      SetTimer(window, kInitTimer, 1, nullptr);
      return 0;
    case WM_INITDIALOG:
      return TRUE;  // the dialog manager gives the first tab stop the focus
    case WM_TIMER:
      if (wParam == kInitTimer) {
        KillTimer(window, kInitTimer);
        if (!initialised_) initMainWindow();
      } else if (wParam == kJobTimer) {
        onJobTimer();
      }
      return 0;
    case WM_COMMAND:
      if (isUse(LOWORD(wParam), HIWORD(wParam)) && takesCommand(LOWORD(wParam), HIWORD(wParam))) {
        command(LOWORD(wParam));
        markCheckedMode();
        keepFocus();
      }
      return 0;
    case WM_DROPFILES:
      if (takesCommand(CTL_SOURCE_PATH, BN_CLICKED)) {
        onDrop(reinterpret_cast<HDROP>(wParam));
      } else {
        DragFinish(reinterpret_cast<HDROP>(wParam));
      }
      return 0;
    case WM_HSCROLL:
      if (takesCommand(CTL_SLIDER, BN_CLICKED) &&
          reinterpret_cast<HWND>(lParam) == GetDlgItem(window, CTL_SLIDER) &&
          app_.job.jobState < kJobPrepared && app_.job.sourceValid) {
        PlanningContext p = planning();
        onSliderMoved(p);
      }
      return 0;
    case WM_SYSCOMMAND:
      if (wParam == kOnTopToggle) {
        toggleOnTop();
        return 0;
      }
      return DefDlgProcW(window, message, wParam, lParam);
    case WM_CLOSE:
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(CTL_QUIT, BN_CLICKED), 0);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefDlgProcW(window, message, wParam, lParam);
  }
}

void MainWindow::initMainWindow() {
  JobSettings& job = app_.job;
  PersistedSettings& options = app_.options;
  PlanningContext p = planning();
  WindowControls& c = *controls_;

  // No path field may hold more than the records can.
  for (int id : {CTL_SOURCE_PATH, CTL_OUTPUT_FOLDER, CTL_DESCRIPTION, CTL_CIPHER_KEY})
    SendDlgItemMessageA(window_, id, EM_SETLIMITTEXT, PathText::kMaxLength, 0);

  c.setText(CTL_SOURCE_PATH, kNoSourcePath);
  c.setText(CTL_OUTPUT_FOLDER, platform_.desktopFolder());
  // Intended start-up values, not a leftover: the fields show the window's
  // first state (2 segments, "900 kBytes" below) before any file is chosen;
  // the 921 bytes and the file size with its low 32 bits cleared are what
  // the program has always held then, and the first analysis replaces all.
  job.segmentCount = kNoSourceCountShown;
  job.segmentSize = 921;
  job.fileSize &= ~uint64_t{0xFFFFFFFF};
  c.setNumber(CTL_SEGMENT_COUNT, kNoSourceCountShown);
  c.fillList(CTL_PRESETS, kPresetNames, kPresetListEntries);
  c.select(CTL_PRESETS, 0);
  c.fillList(CTL_REBUILD_METHOD, kRebuildMethods, 2);
  c.select(CTL_REBUILD_METHOD, static_cast<int>(codeValue(options.rebuildMethod)));
  c.fillList(CTL_DESTINATION, kDestinationNames, 4);
  c.select(CTL_DESTINATION, static_cast<int>(codeValue(options.destinationMode)));
  c.fillList(CTL_MEMORY, kMemoryOptions, 3);
  c.select(CTL_MEMORY, static_cast<int>(codeValue(options.memoryOption)));
  c.fillList(CTL_SIZE_UNIT, kUnitNames, 4);
  showSegmentSize(p, kNoSourceSizeShown);
  SendDlgItemMessageA(window_, CTL_COUNT_SPIN, UDM_SETRANGE, 0, MAKELPARAM(32767, 2));
  SendDlgItemMessageA(window_, CTL_SIZE_SPIN, UDM_SETRANGE, 0, MAKELPARAM(32767, 1));
  SendDlgItemMessageA(window_, CTL_RECOVERY_COUNT, EM_SETLIMITTEXT, 4, 0);
  SendDlgItemMessageA(window_, CTL_RECOVERY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(kMaxSegments, 0));
  c.setNumber(CTL_RECOVERY_COUNT, options.recoveryFiles);
  c.setCheck(CTL_USE_CRC, options.useCrc != 0);
  c.setCheck(CTL_USE_DESCRIPTION, options.useDescription != 0);
  c.setText(CTL_CRC, "0");
  c.setSliderMin(CTL_SLIDER, 2);
  CheckDlgButton(window_, CTL_MODE_FAST + static_cast<int>(codeValue(options.sizeMode)), BST_CHECKED);
  markCheckedMode();
  // "Multi-Removable" is kept as its list entry: the job does what the list shows.
  job.multiRemovable = options.destinationMode == DestinationMode::kMultiRemovable ? 1 : 0;
  writeSizeSummary(p);  // no file yet: "Pick a valid file."

  GetSystemMenu(window_, TRUE);  // back to the system's own menu
  HMENU menu = GetSystemMenu(window_, FALSE);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kOnTopToggle, "On Top Toggle");

  for (const Tooltip& t : kTooltips) c.setTooltip(t.id, t.text);
  if (app_.adminRights) {
    c.setTooltip(CTL_AUTO_RUN, kAutoRunTip);
  } else {
    c.setTooltip(CTL_AUTO_RUN, kAdminTip);
    SendDlgItemMessageA(window_, CTL_AUTO_RUN, BCM_SETSHIELD, 0, 1);
    c.setText(CTL_AUTO_RUN, "Admin");
  }
  initialised_ = true;

  // A file given as argument 1: how a double-clicked segment file arrives.
  std::string argument;
  if (firstArgument(&argument) == kArgumentFound && PathText::fits(argument)) {
    job.sourcePath = argument;
    analyseSource(p);
  }

  if (options.wizardAtStart) {
    ShowWindow(window_, SW_HIDE);
    runWizard(*this);
    ShowWindow(window_, SW_SHOW);
  }
  markCheckedMode();
  // The file field, which has the focus at start, shows "None Selected" in
  // full: typing replaces it rather than adding to it.
  HWND source = GetDlgItem(window_, CTL_SOURCE_PATH);
  if (GetFocus() == source && app_.job.sourceValid == 0)
    SendMessageW(source, EM_SETSEL, 0, -1);
  keepFocus();
}

int MainWindow::firstArgument(std::string* path) {
  path->clear();
  int r = getArgument(startup_.commandLine, 1, path);
  if (r != kArgumentFound) path->clear();
  // Switches that led to no job (an "/i=" file not taken, an "/o=" alone)
  // name no file to open: the window starts with none.
  if (r == kArgumentFound && looksLikeSwitch(*path)) {
    path->clear();
    return kArgumentMissing;
  }
  return r;
}

void MainWindow::saveSettings() {
  trep::saveSettings(platform_, app_.userDataFolder, app_.options);
}

void MainWindow::command(int id) {
  JobSettings& job = app_.job;
  PersistedSettings& options = app_.options;
  PlanningContext p = planning();
  WindowControls& c = *controls_;
  const uint32_t state = job.jobState;
  const bool idle = state == kJobIdle;

  switch (id) {
    case CTL_START:
      if (idle) startCommand();
      break;
    case CTL_CHOOSE_FILE:
      if (idle) {
        PathText chosen = job.sourcePath;
        if (chooseFile(window_, chosen) == 1) takeSource(p, chosen.str());
      }
      break;
    case CTL_SOURCE_PATH:
      // A text other than the path taken last is analysed; the same one
      // again (the analysis writing the path it took) is not.
      if (idle) {
        sourceTyped(p);
        refreshModeControls(p);
      }
      break;
    case CTL_CHOOSE_FOLDER:
      if (idle) chooseOutputFolder(p, window_);
      break;
    case CTL_OUTPUT_FOLDER:
      if (idle && job.sourceValid == 1) applyDestination(p);
      break;
    case CTL_PRESETS:
      if (idle) onPresetChanged(p);
      break;
    case CTL_SIZE_NUMBER:
    case CTL_SIZE_UNIT:
      onSizeChanged(p);  // guarded there: no job, a valid source, mode Size
      break;
    case CTL_REBUILD_METHOD:
      if (idle) {
        options.rebuildMethod = static_cast<RebuildMethod>(c.selection(CTL_REBUILD_METHOD));
        refreshModeControls(p);
      }
      break;
    case CTL_SEGMENT_COUNT:
      onCountChanged(p);  // guarded there: no job, a valid source, mode Number
      break;
    case CTL_RECOVERY_COUNT:
      if (idle) {
        options.recoveryFiles = recoveryFilesTyped(c);
        writeSizeSummary(p);
      }
      break;
    case CTL_ENCRYPT:
      if (idle) {
        job.encrypt = c.checked(CTL_ENCRYPT) ? 1 : 0;
        c.enable(CTL_CIPHER_KEY, job.encrypt != 0);
      }
      break;
    case CTL_USE_DESCRIPTION:
      if (idle) {
        options.useDescription = c.checked(CTL_USE_DESCRIPTION) ? 1 : 0;
        c.enable(CTL_DESCRIPTION, options.useDescription != 0);
      }
      break;
    case CTL_DESTINATION:
      if (idle) {
        chooseDestination(p, c.selection(CTL_DESTINATION));
        refreshModeControls(p);
        applyDestination(p);
      }
      break;
    case CTL_CHECK_CRC:
      // readOptions rewrites the job's inputs: never while a worker reads them.
      if (idle && job.sourceValid && job.isSplit) {
        readOptions();
        HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
        uint32_t crc = computeFileCrc(platform_, job.sourcePath.str());
        SetCursor(previous);
        c.setText(CTL_CRC, std::to_string(crc));
      }
      break;
    case CTL_AUTO_RUN:
      if (app_.adminRights) {
        setAssociation(app_.programFolder);
      } else if (restartElevated(window_, app_.programFolder)) {
        DestroyWindow(window_);  // the elevated instance takes over; settings stay as they are
      }
      break;
    case CTL_MODE_FAST:
    case CTL_MODE_NUMBER:
    case CTL_MODE_SIZE:
      if (idle) {
        onSizeModeChosen(p, static_cast<SizeMode>(id - CTL_MODE_FAST));
        refreshModeControls(p);
      }
      break;
    case CTL_ABOUT:
      if (!aboutOpen_) showAbout();
      break;
    case CTL_WIZARD:
      if (idle) openWizard();
      break;
    case CTL_HELP:
      platform_.openReadMe();
      break;
    case CTL_QUIT:
      if (!escapeKey_) quit();  // Esc never quits
      break;
    default:
      break;  // static texts, the CRC field, the progress bar, 1005, 1011, 1015, 1025
  }
}

void MainWindow::startCommand() {
  JobSettings& job = app_.job;
  if (job.segmentCount < 2 || job.segmentCount > kMaxSegments) {
    if (raiseNotice(platform_, kBadSegmentCount, kOk, kOpenReadMe) == kLowerButton)
      platform_.openReadMe();
    return;
  }
  job.jobState = kJobPrepared;
  readOptions();
  startJob();
}

void MainWindow::readOptions() {
  JobSettings& job = app_.job;
  PersistedSettings& options = app_.options;
  WindowControls& c = *controls_;
  job.outputFolder = withNativeSeparators(c.text(CTL_OUTPUT_FOLDER));
  job.description = c.text(CTL_DESCRIPTION);
  job.cipherKey = c.text(CTL_CIPHER_KEY);
  std::string source = withNativeSeparators(c.text(CTL_SOURCE_PATH));
  if (PathText::fits(source)) job.sourcePath = source;
  options.rebuildMethod = static_cast<RebuildMethod>(c.selection(CTL_REBUILD_METHOD));
  // "Multi-Removable" is stored as its list entry and asks for each medium.
  const int destination = c.selection(CTL_DESTINATION);
  options.destinationMode = static_cast<DestinationMode>(destination);
  job.multiRemovable =
      destination == static_cast<int>(codeValue(DestinationMode::kMultiRemovable)) ? 1 : 0;
  options.useCrc = c.checked(CTL_USE_CRC) ? 1 : 0;
  options.memoryOption = static_cast<MemoryOption>(c.selection(CTL_MEMORY));
  options.recoveryFiles = recoveryFilesTyped(c);
  // The boxes as shown, whatever set them last (a box, the wizard, a series).
  job.encrypt = c.checked(CTL_ENCRYPT) ? 1 : 0;
  options.useDescription = c.checked(CTL_USE_DESCRIPTION) ? 1 : 0;
}

void MainWindow::startJob() {
  JobSettings& job = app_.job;
  PlanningContext p = planning();
  SendDlgItemMessageA(window_, CTL_PROGRESS, PBM_SETSTEP, 5, 0);
  SendDlgItemMessageA(window_, CTL_PROGRESS, PBM_SETPOS, 0, 0);
  controls_->show(CTL_HELP, false);
  controls_->show(CTL_AUTO_RUN, false);
  controls_->show(CTL_PROGRESS, true);
  // As the summary says: the setting, at most one per segment, splits only.
  job.recoveryCount = recoveryFilesOf(job, app_.options);
  // Every option locked while the job runs.
  job.sourceValid = 0;
  refreshModeControls(p);
  job.sourceValid = 1;

  job.stopRequested = 0;  // before the worker: a Quit from now on stops this job
  auto done = std::make_shared<std::atomic<bool>>(false);
  workerDone_ = done;
  workerHeld_ = true;
  std::thread([this, done] {
    JobContext ctx{app_.job, app_.options, platform_, *planner_, jobFields_.get()};
    JobOutcome outcome = runJob(ctx);  // proceeds only from jobState 10
    // The engine's two fatal errors end the process; their notice was shown.
    if (outcome.endProcess) ExitProcess(static_cast<UINT>(outcome.exitCode));
    *done = true;
  }).detach();
  SetTimer(window_, kJobTimer, kJobTimerMs, nullptr);
}

void MainWindow::onJobTimer() {
  JobSettings& job = app_.job;
  SendDlgItemMessageA(window_, CTL_PROGRESS, PBM_SETPOS,
                      static_cast<WPARAM>(static_cast<int>(job.jobState.load()) - 100), 0);
  // The worker has returned: its files are closed and its result is final.
  // While the user is asked whether to abort, the answer decides first.
  // A job told to stop that has not ended in kQuitWaitMs (a write to a drive
  // that no longer answers) does not keep the window: run() waits no longer.
  if (quitting_ && GetTickCount() - quitAskedAt_ >= kQuitWaitMs) {
    endWindow();
    return;
  }
  if (!workerDone_ || !workerDone_->load() || askingToQuit_) return;

  KillTimer(window_, kJobTimer);
  workerHeld_ = false;
  workerDone_.reset();
  if (quitting_) {
    endWindow();  // aborted and quit: no end-of-job notice
    return;
  }
  const uint32_t result = job.jobResult;
  // The window is back to its own title before the end is told: the job's
  // last step ("Writing recovery files") is over. The full progress bar
  // stays beside the notice until it is answered.
  SetWindowTextA(window_, kProgramTitle);
  if (endsWithNotice(result)) {
    // An aborted job (99) gets no notice here: its own notices said so.
    if (raiseNotice(platform_, endNoticeText(job), kOk, kQuitTrep) == kLowerButton)
      ExitProcess(static_cast<UINT>(result));
  }
  controls_->show(CTL_PROGRESS, false);
  controls_->show(CTL_HELP, true);
  controls_->show(CTL_AUTO_RUN, true);
  job.jobState = kJobIdle;
  keepFocus();
}

void MainWindow::dropPath(Controls& target, const std::string& path) {
  PlanningContext p{app_.job, app_.options, platform_, target, app_.sizes};
  takeDroppedPath(p, path);
}

void MainWindow::onDrop(HDROP drop) {
  std::string path = firstDroppedPath(drop);
  // A path too long to hold is never cut to another one: it stays empty.
  dropPath(*controls_, path);
}

void MainWindow::toggleOnTop() {
  app_.options.alwaysOnTop = app_.options.alwaysOnTop ? 0 : 1;
  SetWindowPos(window_, app_.options.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE);
}

void MainWindow::openWizard() {
  app_.options.wizardAtStart = 1;
  readOptions();
  saveSettings();
  ShowWindow(window_, SW_HIDE);
  runWizard(*this);
  ShowWindow(window_, SW_SHOW);
  markCheckedMode();
  keepFocus();
}

void MainWindow::showAbout() {
  aboutOpen_ = true;
  DialogBoxParamA(startup_.module, MAKEINTRESOURCEA(kAboutDialog), window_, aboutProc, 0);
  aboutOpen_ = false;
}

bool MainWindow::jobRunning() const { return workerHeld_ && workerDone_ && !workerDone_->load(); }

// "Quit" and the close box. While a job runs they ask first; an abort
// leaves the window until the worker has returned, so the process never
// ends in the middle of writing a file.
void MainWindow::quit() {
  if (askingToQuit_ || quitting_) return;  // asked already, or ending
  if (jobRunning()) {
    // Asked through the notice dialog itself, not the program's one-notice-
    // at-a-time gate: the job may be waiting in a question of its own, and
    // the window must not wait behind it.
    NoticeParameters question;
    question.message = kAbortQuestion;
    question.firstButton = kAbortAndQuit;
    question.secondButton = kContinueJob;
    askingToQuit_ = true;
    const uint32_t answer = NoticeDialog().answer(question);
    askingToQuit_ = false;
    if (answer != kUpperButton) return;  // the job goes on; the monitor sees its end
    if (jobRunning()) {
      // The engine stops within a chunk and removes the file it was
      // writing; a result it has set already (a failed checksum) stays. A
      // question of the job's that is open takes "Abort procedure".
      app_.job.stopRequested = 1;
      uint32_t finished = kResultFinished;
      app_.job.jobResult.compare_exchange_strong(finished, kResultAborted);
      dismissNotices();
      quitting_ = true;
      quitAskedAt_ = GetTickCount();
      return;
    }
  }
  // No job, or one that ended while the question was open: the process
  // ends with the last job's result.
  endWindow();
}

void MainWindow::endWindow() {
  KillTimer(window_, kJobTimer);
  const bool running = jobRunning();
  workerHeld_ = false;
  // While the job runs its options are those the start command read, and
  // the job's record is the worker's: nothing is read into it then.
  if (!running) readOptions();
  saveSettings();
  DestroyWindow(window_);
}

}  // namespace trep
