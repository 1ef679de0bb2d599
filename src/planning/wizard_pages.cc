#include "planning/wizard_pages.h"

#include <initializer_list>

#include "planning/destination.h"
#include "planning/mode_controls.h"
#include "planning/size_arithmetic.h"
#include "planning/size_summary.h"
#include "planning/source_analysis.h"

namespace trep {
namespace {

// The radio buttons of page 2, one group.
constexpr int kMethodButtons[] = {1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109,
                                  WIZ_PRESET_DVD, WIZ_CUSTOM_SIZE, WIZ_DIVIDE};

// Key and description as a page takes them: the lengths the header and the
// key preparation were made for.
constexpr std::size_t kLongestKey = 299;
constexpr std::size_t kLongestDescription = 249;

template <std::size_t N>
void checkOnly(Controls& c, const int (&group)[N], int id) {
  for (int member : group) c.setCheck(member, member == id);
}

void checkOnly(Controls& c, std::initializer_list<int> group, int id) {
  for (int member : group) c.setCheck(member, member == id);
}

// Page 2's count rule, with sourceValid already held at 0 by the caller.
void countRule(PlanningContext& p) {
  sizeFromCount(p);  // reads field 1012, clamps to 1..9999 and writes a corrected count back
  showSegmentSize(p, p.job.segmentSize);
}

// Which of page 4's controls are usable. The key field follows "Encrypt"
// and the description field follows "Description", as their buttons set
// them; the BAT file makes segments without headers, so neither the
// description nor (from this page) the scrambling choice applies; a join
// takes its rebuild method and description from the series.
void optionsStates(PlanningContext& p) {
  Controls& c = p.controls;
  const bool split = p.job.isSplit != 0;
  const bool batFile = split && c.checked(WIZ_BAT_FILE);
  c.enable(WIZ_USE_TREP, split);
  c.enable(WIZ_BAT_FILE, split);
  c.enable(WIZ_ENCRYPT, !batFile);
  c.enable(WIZ_CIPHER_KEY, !batFile && p.job.encrypt != 0);
  c.enable(WIZ_USE_DESCRIPTION, split && !batFile);
  c.enable(WIZ_DESCRIPTION, split && !batFile && p.options.useDescription != 0);
  c.enable(CTL_RECOVERY_COUNT, split);
}

}  // namespace

void SourcePageControls::setText(int id, std::string_view text) {
  if (id == CTL_OUTPUT_FOLDER) {
    folder_.assign(text);
  } else {
    target().setText(id, text);
  }
}

std::string SourcePageControls::text(int id) {
  return id == CTL_OUTPUT_FOLDER ? folder_ : target().text(id);
}

int wizardPresetNumber(int id) {
  if (id >= WIZ_PRESET_EMAIL && id <= WIZ_PRESET_CD80) return id - 1101;
  if (id == WIZ_PRESET_DVD) return 19;
  return 0;
}

void openSourcePage(PlanningContext& p, const std::string& argument) {
  JobSettings& job = p.job;
  if (!argument.empty()) {
    // The file the main window analysed at start-up is this one already;
    // analysing it again would only ask its questions twice.
    if (!(job.sourceValid == 1 && job.sourcePath.str() == argument)) {
      job.sourceValid = 0;
      if (PathText::fits(argument)) {
        job.sourcePath = argument;
        analyseSource(p);
      } else {
        job.sourcePath = "";
      }
    }
  } else if (job.sourceValid != 1) {
    job.sourcePath = "";
  }
  p.controls.setText(CTL_SOURCE_PATH, job.sourceValid == 1 ? job.sourcePath.view() : "");
}

bool sourceTyped(PlanningContext& p) {
  JobSettings& job = p.job;
  if (job.jobState != kJobIdle) return false;  // the analysis writing the field itself
  std::string typed = p.controls.text(CTL_SOURCE_PATH);
  // The path taken last, valid or not: analysed once, asked about once.
  if (typed == job.sourcePath.str()) return false;
  takeSource(p, typed);
  return true;
}

WizardPage pageAfterFile(const JobSettings& job) {
  return job.isSplit ? WizardPage::kMethod : WizardPage::kDestination;
}

WizardPage pageBeforeDestination(const JobSettings& job) {
  return job.isSplit ? WizardPage::kMethod : WizardPage::kFile;
}

void openMethodPage(PlanningContext& p) {
  JobSettings& job = p.job;
  Controls& c = p.controls;
  job.sourceValid = 0;
  checkOnly(c, kMethodButtons, WIZ_DIVIDE);
  c.enable(CTL_SIZE_NUMBER, false);
  c.enable(CTL_SEGMENT_COUNT, true);
  showSegmentSize(p, job.segmentSize);
  countFromSize(p);
  c.setNumber(CTL_SEGMENT_COUNT, 2);
  countRule(p);
  job.sourceValid = 1;
}

void methodPresetChosen(PlanningContext& p, int presetNumber) {
  JobSettings& job = p.job;
  if (!job.isSplit || job.sourceValid != 1 || presetNumber == 0) return;
  job.sourceValid = 0;
  uint32_t v = presetSize(p, presetNumber);
  if (v != 0) {
    job.segmentSize = v;
    showSegmentSize(p, v);
    countFromSize(job);  // the exact size, not the rounded one the field shows
    p.controls.setNumber(CTL_SEGMENT_COUNT, job.segmentCount);
    p.controls.enable(CTL_SIZE_NUMBER, false);
    p.controls.enable(CTL_SEGMENT_COUNT, false);
  }
  job.sourceValid = 1;
}

void methodCustomSize(PlanningContext& p) {
  if (!p.job.isSplit) return;
  p.controls.enable(CTL_SIZE_NUMBER, true);
  p.controls.enable(CTL_SEGMENT_COUNT, false);
}

void methodDivide(PlanningContext& p) {
  if (!p.job.isSplit) return;
  p.controls.enable(CTL_SIZE_NUMBER, false);
  p.controls.enable(CTL_SEGMENT_COUNT, true);
}

void methodSizeTyped(PlanningContext& p) {
  JobSettings& job = p.job;
  if (!job.isSplit || job.sourceValid != 1) return;
  job.sourceValid = 0;
  countFromSize(p);
  // The split itself lowers the count to 9999 by enlarging the size
  // (adjustCountAtSplitStart); the field shows where that ends.
  if (job.segmentCount > kMaxSegments) job.segmentCount = kMaxSegments;
  p.controls.setNumber(CTL_SEGMENT_COUNT, job.segmentCount);
  job.sourceValid = 1;
}

void methodCountTyped(PlanningContext& p) {
  JobSettings& job = p.job;
  if (!job.isSplit || job.sourceValid != 1) return;
  job.sourceValid = 0;
  countRule(p);
  job.sourceValid = 1;
}

int openingDestination(DestinationMode destinationMode) {
  switch (destinationMode) {
    case DestinationMode::kSameAsSource:
      return 1;
    case DestinationMode::kNamedFolder:
      return 2;
    default:
      return 0;  // Folder, and Multi-Removable, which the wizard does not offer
  }
}

void openDestinationPage(PlanningContext& p) {
  int index = openingDestination(p.options.destinationMode);
  checkOnly(p.controls, {WIZ_DEST_DESKTOP, WIZ_DEST_SOURCE, WIZ_DEST_NAMED_DESKTOP,
                         WIZ_DEST_NAMED_SELECTED, WIZ_DEST_SELECTED},
            WIZ_DEST_DESKTOP + index);
  chooseWizardDestination(p, index);
}

void chooseWizardDestination(PlanningContext& p, int index) {
  if (index < 0 || index > 4) return;
  const WizardDestination& d = kWizardDestinations[index];
  Controls& c = p.controls;
  switch (d.folder) {
    case WizardFolder::kDesktop:
      c.setText(CTL_OUTPUT_FOLDER, p.platform.desktopFolder());
      break;
    case WizardFolder::kSourceFolder:
      c.setText(CTL_OUTPUT_FOLDER, folderOf(p.job.sourcePath.view()));
      break;
    case WizardFolder::kUnchanged:
      break;
  }
  p.options.destinationMode = d.destinationMode;
  if (d.apply) applyDestination(p);
  c.enable(CTL_OUTPUT_FOLDER, d.folderChoosable);
  c.enable(CTL_CHOOSE_FOLDER, d.folderChoosable);
}

bool leaveDestinationPage(PlanningContext& p) {
  std::string folder = withNativeSeparators(p.controls.text(CTL_OUTPUT_FOLDER));
  if (!PathText::fits(folder)) return false;  // never cut to another folder
  p.job.outputFolder = folder;
  p.job.multiRemovable = 0;
  return true;
}

void openOptionsPage(PlanningContext& p) {
  Controls& c = p.controls;
  checkOnly(c, {WIZ_USE_TREP, WIZ_BAT_FILE}, WIZ_USE_TREP);
  c.setCheck(WIZ_USE_CRC, p.options.useCrc != 0);
  c.setCheck(WIZ_USE_DESCRIPTION, p.options.useDescription != 0);
  c.setCheck(WIZ_ENCRYPT, p.job.encrypt != 0);
  c.setNumber(CTL_RECOVERY_COUNT, p.options.recoveryFiles);
  optionsStates(p);
}

void activateOptionsPage(PlanningContext& p) {
  Controls& c = p.controls;
  // The box shows the option the job will use: a join's analysis takes it
  // from the series' header, which may differ from what the page showed.
  c.setCheck(WIZ_USE_DESCRIPTION, p.options.useDescription != 0);
  if (!p.job.isSplit && p.options.useDescription == 1)
    c.setText(WIZ_DESCRIPTION, p.job.description.view());
  optionsStates(p);
}

void optionsClicked(PlanningContext& p, int id) {
  Controls& c = p.controls;
  switch (id) {
    case WIZ_ENCRYPT:
      p.job.encrypt = c.checked(WIZ_ENCRYPT) ? 1 : 0;
      break;
    case WIZ_USE_DESCRIPTION:
      if (!p.job.isSplit) return;
      p.options.useDescription = c.checked(WIZ_USE_DESCRIPTION) ? 1 : 0;
      break;
    case WIZ_USE_TREP:
    case WIZ_BAT_FILE:
      break;
    default:
      return;
  }
  optionsStates(p);
}

void finishOptions(PlanningContext& p) {
  Controls& c = p.controls;
  p.options.rebuildMethod = c.checked(WIZ_USE_TREP) ? RebuildMethod::kTrep : RebuildMethod::kBatFile;
  p.job.cipherKey = firstCharacters(c.text(WIZ_CIPHER_KEY), kLongestKey);
  p.job.description = firstCharacters(c.text(WIZ_DESCRIPTION), kLongestDescription);
  p.options.useCrc = c.checked(WIZ_USE_CRC) ? 1 : 0;
  p.options.recoveryFiles = recoveryFilesTyped(c);
  p.job.jobState = kJobPrepared;
}

void showWizardResult(PlanningContext& p) {
  JobSettings& job = p.job;
  PersistedSettings& o = p.options;
  Controls& c = p.controls;
  // The window's own reactions to these writes would analyse the file
  // again and rework the folder and sizes the pages set up; they are held
  // off as an analysis holds them (jobState 1, sourceValid 0), unless Finish
  // has prepared the job already (jobState 10), which holds them too.
  const uint32_t state = job.jobState;
  const uint32_t valid = job.sourceValid;
  if (state == kJobIdle) job.jobState = kJobAnalysing;
  job.sourceValid = 0;

  c.setText(CTL_OUTPUT_FOLDER, job.outputFolder.view());
  // No file taken: the window looks as before its first file, not as the
  // last analysis that found none left the records.
  c.setText(CTL_SOURCE_PATH, valid || !job.sourcePath.empty() ? job.sourcePath.view()
                                                                : std::string_view(kNoSourcePath));
  c.select(CTL_DESTINATION, static_cast<int>(job.multiRemovable
                                                 ? codeValue(DestinationMode::kMultiRemovable)
                                                 : codeValue(o.destinationMode)));
  c.select(CTL_REBUILD_METHOD, static_cast<int>(codeValue(o.rebuildMethod)));
  c.setCheck(CTL_USE_CRC, o.useCrc != 0);
  c.setNumber(CTL_RECOVERY_COUNT, o.recoveryFiles);
  c.setCheck(CTL_ENCRYPT, job.encrypt != 0);
  c.setText(CTL_CIPHER_KEY, job.cipherKey.view());
  c.setCheck(CTL_USE_DESCRIPTION, o.useDescription != 0);
  c.setText(CTL_DESCRIPTION, job.description.view());
  // A preset the size no longer matches would claim a size the job has not.
  const int preset = c.selection(CTL_PRESETS);
  if (preset != 0 && presetBytes(job, preset) != job.segmentSize) {
    c.select(CTL_PRESETS, 0);
    p.sizes.presetChosen = 0;
  }
  showSegmentSize(p, valid ? job.segmentSize : kNoSourceSizeShown);
  c.setNumber(CTL_SEGMENT_COUNT, valid ? job.segmentCount : kNoSourceCountShown);
  if (valid && job.isSplit) {
    c.setSliderMax(CTL_SLIDER, o.sliderMax);
    c.setSliderPosition(CTL_SLIDER, job.segmentCount);
  }

  job.sourceValid = valid;
  if (state == kJobIdle) job.jobState = kJobIdle;
  showSource(p);
  c.setNumber(CTL_CRC, job.fileCrc);
  // The summary states the wizard's job and keeps its size for the split's
  // start, which reads the size fields back.
  writeSizeSummary(p);
  o.wizardRunning = 0;
  refreshModeControls(p);
}

}  // namespace trep
