// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/metrics_option.h"

#include <sys/stat.h>

#include "app/metrics_textfile.h"

namespace rur::cli {

bool MetricsOption::Use(const std::string& folder, Program& program, std::ostream& err) {
  struct stat facts {};
  if (folder.empty() || ::stat(folder.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode)) {
    err << "monitor: " << kTextfileDirOption << " \"" << folder << "\" is not a folder\n";
    return false;
  }
  program.WriteMetricsTo(folder);
  return true;
}

void MetricsOption::ReportWriteFailure(const Program& program, std::ostream& err) {
  const MetricsTextfile* metrics = program.metrics();
  if (metrics == nullptr || !metrics->failing()) {
    told_ = false;
    return;
  }
  if (told_) return;
  told_ = true;
  err << "monitor: the metrics file cannot be written (" << metrics->lastError()
      << "); it is tried again every refresh\n";
}

}  // namespace rur::cli
