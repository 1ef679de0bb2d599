#include "dialogs/wizard.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>

#include "dialogs/choosers.h"
#include "dialogs/notice_dialog.h"
#include "dialogs/window_controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "planning/wizard_pages.h"
#include "platform/win32/wide.h"
#include "resources/resource_ids.h"

namespace trep {
namespace {

constexpr int kPageCount = 4;
constexpr int kPageTemplates[kPageCount] = {kWizardFilePage, kWizardMethodPage,
                                            kWizardDestinationPage, kWizardOptionsPage};

// The up-down ranges of page 2.
constexpr int kSizeSpinMin = 1;
constexpr int kCountSpinMin = 2;
constexpr int kSpinMax = 32767;

// Key and description as far as page 4 takes them (see finishOptions).
constexpr int kKeyFieldLimit = 299;
constexpr int kDescriptionFieldLimit = 249;

int pageIndexOf(WizardPage page) { return static_cast<int>(page); }

class Wizard {
 public:
  explicit Wizard(WizardHost& host) : host_(host) {}
  void run();
  INT_PTR pageMessage(int page, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  PlanningContext context(Controls& surface) {
    return PlanningContext{host_.job(), host_.options(), host_.platform(), surface, host_.sizes()};
  }
  PlanningContext pageContext(int page) {
    return page == 0 ? context(*sourceSurface_) : context(*controls_[page]);
  }
  HWND sheet() const { return GetParent(pages_[0]); }

  void openPage(int page, HWND window);
  void activatePage(int page);
  void command(int page, int id, int code);
  // The result of PSN_WIZNEXT / PSN_WIZBACK: 0 to go on to the neighbouring
  // page, -1 to stay, or the template id of the page to go to instead.
  LONG_PTR next(int page);
  LONG_PTR back(int page);
  void afterSourceChange();
  void dropped(HDROP drop);

  WizardHost& host_;
  HWND pages_[kPageCount] = {};
  std::unique_ptr<WindowControls> controls_[kPageCount];
  std::unique_ptr<SourcePageControls> sourceSurface_;
  bool opened_[kPageCount] = {};
  HFONT welcomeFont_ = nullptr;
  // Page 1 takes a new source each time this goes up; pages 2 and 3 set
  // themselves up again when they find it changed since they last did, so
  // they never show (and hand on) what they worked out for another file.
  unsigned sourceGeneration_ = 0;
  unsigned pageGeneration_[kPageCount] = {};
};

Wizard* gWizard = nullptr;  // the one open wizard; its pages find it here
HWND gCentreOn = nullptr;   // the window the open wizard is centred on

// The sheet, once made and before it is shown, is centred on the main
// window (hidden by then, but where it was; at start-up that is the middle
// of the screen), and kept inside the screen's work area.
int CALLBACK sheetCallback(HWND sheet, UINT message, LPARAM) {
  if (message != PSCB_INITIALIZED || sheet == nullptr) return 0;
  RECT area = {};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  RECT on = area;
  if (gCentreOn != nullptr) {
    RECT main = {};
    if (GetWindowRect(gCentreOn, &main) && main.right > main.left) on = main;
  }
  RECT r = {};
  GetWindowRect(sheet, &r);
  const long width = r.right - r.left, height = r.bottom - r.top;
  long x = (on.left + on.right) / 2 - width / 2;
  long y = (on.top + on.bottom) / 2 - height / 2;
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(sheet, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

INT_PTR CALLBACK pageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The page's index, kept with the page; 0 means not known yet (messages
    // such as WM_SETFONT come before WM_INITDIALOG).
    auto* page = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, page->lParam + 1);
  }
  LONG_PTR index = GetWindowLongPtrA(window, DWLP_USER);
  if (gWizard == nullptr || index < 1 || index > kPageCount) return FALSE;
  return gWizard->pageMessage(static_cast<int>(index - 1), window, message, wParam, lParam);
}

void Wizard::run() {
  host_.options().wizardRunning = 1;
  // Wide sheet and pages: their fields show and take text in any script.
  HINSTANCE module = GetModuleHandleW(nullptr);
  PROPSHEETPAGEW pages[kPageCount] = {};
  for (int i = 0; i < kPageCount; ++i) {
    pages[i].dwSize = sizeof(PROPSHEETPAGEW);
    pages[i].dwFlags = PSP_DEFAULT;  // the template's caption is the page title
    pages[i].hInstance = module;
    pages[i].pszTemplate = MAKEINTRESOURCEW(kPageTemplates[i]);
    pages[i].pfnDlgProc = pageProc;
    pages[i].lParam = i;
  }
  const std::wstring caption = widen(kProgramTitle);
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_WIZARD | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
  header.pfnCallback = sheetCallback;
  header.hwndParent = nullptr;
  header.hInstance = module;
  header.pszCaption = caption.c_str();
  header.nPages = kPageCount;
  header.nStartPage = 0;
  header.ppsp = pages;

  gWizard = this;
  gCentreOn = host_.mainWindow();
  PropertySheetW(&header);
  gWizard = nullptr;
  gCentreOn = nullptr;
  if (welcomeFont_ != nullptr) DeleteObject(welcomeFont_);

  JobSettings& job = host_.job();
  Controls& window = host_.mainControls();
  PlanningContext main = context(window);
  // A split whose file page 1 took but "Trep Method" never sized holds the
  // analysis's sizes, made for the wizard's pages, not those the main
  // window works out (its preset, its size mode).
  const bool unsized = job.sourceValid == 1 && job.isSplit && sourceGeneration_ != 0 &&
                       pageGeneration_[pageIndexOf(WizardPage::kMethod)] != sourceGeneration_ + 1;
  const int preset = window.selection(CTL_PRESETS);
  const uint32_t presetChosen = host_.sizes().presetChosen;
  showWizardResult(main);
  if (job.jobState == kJobPrepared) {
    host_.startJob();  // only Finish prepares a job
    return;
  }
  if (unsized) {
    // Closed without Finish: the main window takes the file as its own,
    // with the preset it showed before, so that it shows the split its
    // start command runs.
    window.select(CTL_PRESETS, preset);
    host_.sizes().presetChosen = presetChosen;
    job.sourceValid = 0;
    analyseSource(main);
  }
}

INT_PTR Wizard::pageMessage(int page, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      openPage(page, window);
      return TRUE;
    case WM_COMMAND:
      // As on the main window: while a notice of this thread is open (the
      // sheet is its owner, disabled), a command is dropped, not kept.
      if (opened_[page] && !noticeOpenOnThisThread())
        command(page, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DROPFILES:
      if (page == 0 && !noticeOpenOnThisThread()) {
        dropped(reinterpret_cast<HDROP>(wParam));
      } else {
        DragFinish(reinterpret_cast<HDROP>(wParam));
      }
      return TRUE;
    case WM_NOTIFY: {
      LONG_PTR result = 0;
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE:
          activatePage(page);
          break;
        case PSN_WIZNEXT:
          result = noticeOpenOnThisThread() ? -1 : next(page);
          break;
        case PSN_WIZBACK:
          result = noticeOpenOnThisThread() ? -1 : back(page);
          break;
        case PSN_WIZFINISH: {
          if (noticeOpenOnThisThread()) {
            result = TRUE;  // the sheet stays open
            break;
          }
          PlanningContext p = pageContext(page);
          finishOptions(p);
          break;
        }
        default:
          return FALSE;
      }
      SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void Wizard::openPage(int page, HWND window) {
  pages_[page] = window;
  // Pages have no tooltips of their own.
  controls_[page] = std::make_unique<WindowControls>(window, nullptr);
  WindowControls& c = *controls_[page];
  switch (page) {
    case 0: {
      sourceSurface_ = std::make_unique<SourcePageControls>(
          c, host_.mainControls().text(CTL_OUTPUT_FOLDER));
      SendDlgItemMessageA(window, CTL_SOURCE_PATH, EM_SETLIMITTEXT, PathText::kMaxLength, 0);
      DragAcceptFiles(window, TRUE);
      welcomeFont_ = CreateFontA(30, 0, 0, 0, 50, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, "Arial");
      SendDlgItemMessageA(window, WIZ_WELCOME, WM_SETFONT, reinterpret_cast<WPARAM>(welcomeFont_),
                          TRUE);
      std::string argument;
      host_.firstArgument(&argument);
      PlanningContext p = pageContext(0);
      const JobSettings& job = host_.job();
      const std::string pathBefore = job.sourcePath.str();
      const uint32_t validBefore = job.sourceValid;
      openSourcePage(p, argument);
      // A file analysed here (another than the main window held) counts as
      // a source the page took.
      if (job.sourcePath.str() != pathBefore || job.sourceValid != validBefore)
        ++sourceGeneration_;
      break;
    }
    case 1:
      c.fillList(CTL_SIZE_UNIT, kUnitNames, 4);
      SendDlgItemMessageA(window, CTL_SIZE_SPIN, UDM_SETRANGE, 0,
                          MAKELPARAM(kSpinMax, kSizeSpinMin));
      SendDlgItemMessageA(window, CTL_COUNT_SPIN, UDM_SETRANGE, 0,
                          MAKELPARAM(kSpinMax, kCountSpinMin));
      break;  // the rest when it becomes active: it may have to be done again
    case 2:
      SendDlgItemMessageA(window, CTL_OUTPUT_FOLDER, EM_SETLIMITTEXT, PathText::kMaxLength, 0);
      break;  // likewise
    case 3: {
      SendDlgItemMessageA(window, WIZ_CIPHER_KEY, EM_SETLIMITTEXT, kKeyFieldLimit, 0);
      SendDlgItemMessageA(window, WIZ_DESCRIPTION, EM_SETLIMITTEXT, kDescriptionFieldLimit, 0);
      SendDlgItemMessageA(window, CTL_RECOVERY_COUNT, EM_SETLIMITTEXT, 4, 0);
      SendDlgItemMessageA(window, CTL_RECOVERY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(kMaxSegments, 0));
      PlanningContext p = pageContext(3);
      openOptionsPage(p);
      break;
    }
  }
  opened_[page] = true;
}

void Wizard::activatePage(int page) {
  PlanningContext p = pageContext(page);
  DWORD buttons = PSWIZB_BACK | PSWIZB_NEXT;
  switch (page) {
    case 0:
      buttons = host_.job().sourceValid == 1 ? PSWIZB_NEXT : 0;
      break;
    case 1:
    case 2:
      // First shown, or shown again for another file than it was set up for.
      if (pageGeneration_[page] != sourceGeneration_ + 1) {
        opened_[page] = false;  // its own writes are no commands
        if (page == 1) {
          openMethodPage(p);
        } else {
          openDestinationPage(p);
        }
        opened_[page] = true;
        pageGeneration_[page] = sourceGeneration_ + 1;
      }
      break;
    case 3:
      activateOptionsPage(p);
      buttons = PSWIZB_BACK | PSWIZB_FINISH;
      break;
  }
  PropSheet_SetWizButtons(sheet(), buttons);
}

void Wizard::command(int page, int id, int code) {
  PlanningContext p = pageContext(page);
  JobSettings& job = host_.job();
  const bool clicked = code == BN_CLICKED;
  switch (page) {
    case 0:
      if (id == CTL_SOURCE_PATH && code == EN_CHANGE) {
        if (sourceTyped(p)) afterSourceChange();
      } else if (id == CTL_CHOOSE_FILE && clicked) {
        PathText chosen = job.sourcePath;
        if (chooseFile(pages_[0], chosen) == 1) {
          takeSource(p, chosen.str());
          if (job.sourceValid == 1) p.controls.setText(CTL_SOURCE_PATH, job.sourcePath.view());
          afterSourceChange();
        }
      } else if (id == WIZ_CLOSE && clicked) {
        host_.options().wizardAtStart = 0;
        host_.saveSettings();
        // As Cancel: no job starts. Posted, so that the sheet's modal loop
        // takes it as a message of its own and then sees that it has ended.
        PostMessageA(sheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
      }
      break;
    case 1:
      if (wizardPresetNumber(id) != 0 && clicked) {
        methodPresetChosen(p, wizardPresetNumber(id));
      } else if (id == WIZ_CUSTOM_SIZE && clicked) {
        methodCustomSize(p);
      } else if (id == WIZ_DIVIDE && clicked) {
        methodDivide(p);
      } else if (id == CTL_SIZE_NUMBER && code == EN_CHANGE) {
        methodSizeTyped(p);
      } else if (id == CTL_SEGMENT_COUNT && code == EN_CHANGE) {
        methodCountTyped(p);
      }
      break;
    case 2:
      if (id >= WIZ_DEST_DESKTOP && id <= WIZ_DEST_SELECTED && clicked) {
        chooseWizardDestination(p, id - WIZ_DEST_DESKTOP);
      } else if (id == CTL_CHOOSE_FOLDER && clicked) {
        chooseOutputFolder(p, pages_[2]);
      }
      break;
    case 3:
      if (clicked) optionsClicked(p, id);
      break;
  }
}

LONG_PTR Wizard::next(int page) {
  JobSettings& job = host_.job();
  if (page == 0) {
    // The field and the analysed source agree (every change of the field is
    // analysed); should they not, the field is analysed before leaving.
    PlanningContext p = pageContext(0);
    if (sourceTyped(p)) afterSourceChange();
    if (job.sourceValid != 1) return -1;
    WizardPage to = pageAfterFile(job);
    return to == WizardPage::kMethod ? 0 : kPageTemplates[pageIndexOf(to)];
  }
  if (page == 2) {
    PlanningContext p = pageContext(2);
    if (!leaveDestinationPage(p)) return -1;
  }
  return 0;
}

LONG_PTR Wizard::back(int page) {
  if (page != 2) return 0;
  PlanningContext p = pageContext(2);
  if (!leaveDestinationPage(p)) return -1;
  WizardPage to = pageBeforeDestination(host_.job());
  return to == WizardPage::kMethod ? 0 : kPageTemplates[pageIndexOf(to)];
}

void Wizard::afterSourceChange() {
  ++sourceGeneration_;
  PropSheet_SetWizButtons(sheet(), host_.job().sourceValid == 1 ? PSWIZB_NEXT : 0);
}

void Wizard::dropped(HDROP drop) {
  std::string path = firstDroppedPath(drop);
  // As on the main window: ignored during an analysis; a path too long to
  // hold is never cut to another one.
  if (host_.job().jobState != kJobIdle || path.empty()) return;
  host_.dropPath(*sourceSurface_, path);
  afterSourceChange();
}

}  // namespace

void runWizard(WizardHost& host) {
  Wizard wizard(host);
  wizard.run();
}

}  // namespace trep
