// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/metrics_textfile.h"

#include <algorithm>

#include "platform/atomic_file.h"

namespace rur {
namespace {

// The same enclosure across refreshes: its device node, or its drive number where that is unknown.
bool SameEnclosure(const EnclosureMetrics& a, const EnclosureMetrics& b) {
  return a.path.empty() && b.path.empty() ? a.drive == b.drive : a.path == b.path;
}

}  // namespace

bool MetricsTextfile::Write(MetricsSnapshot snapshot) {
  for (const EnclosureMetrics& now : snapshot.enclosures) {
    auto known =
        std::find_if(seen_.begin(), seen_.end(), [&](const EnclosureMetrics& e) { return e.path == now.path; });
    if (known == seen_.end()) {
      seen_.push_back(now);
    } else {
      *known = now;
    }
  }
  for (const EnclosureMetrics& earlier : seen_) {
    const bool present = std::any_of(snapshot.enclosures.begin(), snapshot.enclosures.end(),
                                     [&](const EnclosureMetrics& e) { return SameEnclosure(e, earlier); });
    if (present) continue;
    EnclosureMetrics gone = earlier;
    gone.up = false;
    gone.known = false;  // its last values are no longer the enclosure's
    snapshot.enclosures.push_back(std::move(gone));
  }
  std::string error;
  if (!WriteFileAtomically(path(), PrometheusText(snapshot), 0666, error)) {
    lastError_ = error.empty() ? "cannot write " + path() : error;
    return false;
  }
  lastError_.clear();
  return true;
}

}  // namespace rur
