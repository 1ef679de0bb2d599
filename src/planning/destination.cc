#include "planning/destination.h"

#include "engine/naming.h"

namespace trep {

const char* const kDestinationNames[4] = {"Folder", "Multi-Removable", "Named Folder",
                                          "Same as Source"};

const WizardDestination kWizardDestinations[5] = {
    {"Desktop", WizardFolder::kDesktop, DestinationMode::kFolder, true, false},
    {"Same Directory as Source", WizardFolder::kSourceFolder, DestinationMode::kSameAsSource, true,
     false},
    {"Created Named Folder on Desktop", WizardFolder::kDesktop, DestinationMode::kNamedFolder, true,
     false},
    {"Created Named Folder in Selected Folder", WizardFolder::kUnchanged,
     DestinationMode::kNamedFolder, true, true},
    {"Selected Folder", WizardFolder::kUnchanged, DestinationMode::kFolder, false, true},
};

std::string folderOf(std::string_view path) {
  std::size_t last = path.rfind(kPathSeparator);
  if (last == std::string_view::npos)
    return std::string(withoutLastCharacters(path, 1));
#ifndef _WIN32
  if (last == 0) return "/";
#endif
  return std::string(path.substr(0, last));
}

std::string stripExtension(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::string(name);
  return std::string(name.substr(0, dot));
}

std::string namedFolderOf(std::string_view originalName) {
  std::string folder = stripExtension(originalName);
  // "...txt" would give "..": a folder that leads out of the output folder.
  if (folder == "." || folder == "..") folder.assign(folder.size(), '_');
  return folder;
}

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool applyDestination(PlanningContext& p) {
  JobSettings& job = p.job;
  if (!p.controls.isWindow()) {
    std::string folder = job.outputFolder.str();
    folder += kPathSeparator;
    folder += namedFolderOf(job.originalName.view());
    if (!PathText::fits(folder)) return false;
    job.outputFolder = folder;
    return true;
  }

  // The field's change notification below is ignored while sourceValid is
  // 0; afterwards it is what it was, so a destination chosen before any file
  // never makes the source valid.
  const uint32_t wasValid = job.sourceValid;
  job.sourceValid = 0;
  bool fits = true;
  switch (p.options.destinationMode) {
    case DestinationMode::kNamedFolder: {
      if (job.isSplit) job.originalName = originalNameOf(job.sourcePath.view());
      std::string name = namedFolderOf(job.originalName.view());
      PathText field;
      field.assign(p.controls.text(CTL_OUTPUT_FOLDER));  // at most 599 characters
      std::string folder = field.str();
      if (!endsWith(folder, std::string(1, kPathSeparator) + name)) {
        // A drive or file-system root already ends with its separator.
        if (!folder.empty() && folder.back() != kPathSeparator) folder += kPathSeparator;
        folder += name;
      }
      if (!PathText::fits(folder)) {
        fits = false;
        break;
      }
      job.outputFolder = folder;
      if (folder != field.str()) p.controls.setText(CTL_OUTPUT_FOLDER, folder);
      break;
    }
    case DestinationMode::kSameAsSource:
      job.outputFolder = folderOf(job.sourcePath.view());
      p.controls.setText(CTL_OUTPUT_FOLDER, job.outputFolder.view());
      break;
    default:
      break;
  }
  job.sourceValid = wasValid;
  return fits;
}

void chooseDestination(PlanningContext& p, int listIndex) {
  DestinationMode mode = listIndex < 0 || listIndex > 3
                             ? DestinationMode::kNamedFolder
                             : static_cast<DestinationMode>(listIndex);
  if (mode == DestinationMode::kMultiRemovable) {
    p.job.multiRemovable = 1;
    p.options.destinationMode = DestinationMode::kFolder;
  } else {
    p.job.multiRemovable = 0;
    p.options.destinationMode = mode;
  }
}

}  // namespace trep
