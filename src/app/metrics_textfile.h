// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The metrics file for node_exporter's textfile collector: DIR/rode_rur.prom, rewritten whole
// after every refresh through a temporary file and a rename, so the collector never reads half
// of it (the temporary name does not end in .prom, so the collector skips it). An enclosure that
// left the device list during the run stays in the file as not answering, so an alert on it
// keeps firing instead of going quiet with its series.

#include <string>
#include <vector>

#include "app/prometheus_metrics.h"

namespace rur {

constexpr const char* kMetricsFileName = "rode_rur.prom";

class MetricsTextfile {
 public:
  explicit MetricsTextfile(std::string folder) : folder_(std::move(folder)) {}

  const std::string& folder() const { return folder_; }
  std::string path() const { return folder_ + "/" + kMetricsFileName; }
  // False with lastError() when the file could not be written; the next write tries again.
  bool Write(MetricsSnapshot snapshot);
  const std::string& lastError() const { return lastError_; }
  bool failing() const { return !lastError_.empty(); }

 private:
  std::string folder_;
  std::vector<EnclosureMetrics> seen_;  // every enclosure of the run, as last seen
  std::string lastError_;
};

}  // namespace rur
