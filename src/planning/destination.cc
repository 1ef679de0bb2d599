#include "planning/destination.h"

#include "platform/platform.h"

namespace trep {

std::string folderOf(std::string_view path) {
  std::size_t last = path.rfind(kPathSeparator);
  if (last == std::string_view::npos)
    return std::string(path.substr(0, path.empty() ? 0 : path.size() - 1));
  return std::string(path.substr(0, last));
}

std::string stripExtension(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::string(name);
  return std::string(name.substr(0, dot));
}

bool applyDestinationWithoutWindow(JobSettings& job) {
  std::string folder = job.outputFolder.str();
  folder += kPathSeparator;
  folder += stripExtension(job.originalName.view());
  if (folder.size() > PathText::kMaxLength) return false;
  job.outputFolder = folder;
  return true;
}

}  // namespace trep
