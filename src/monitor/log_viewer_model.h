// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reading side of the event log viewer: following the in-memory log as it grows (or starts
// over on a new day), and loading any log file the user picks.

#include <cstddef>
#include <string>
#include <vector>

namespace rur {

struct LogViewStep {
  bool refill = false;             // clear the view first
  std::vector<std::string> lines;  // lines to add at the end
};

class LogFollower {
 public:
  // The view is filled with the whole log: everything is shown from now on.
  LogViewStep Fill(const std::vector<std::string>& log);
  // One tick of the live view: the lines added since the last look, or a refill when the log
  // shrank. Never reads past the log's current end.
  LogViewStep Follow(const std::vector<std::string>& log);
  void Forget() { shown_ = 0; }
  std::size_t shownLineCount() const { return shown_; }

 private:
  std::size_t shown_ = 0;
};

// The whole text of a log file for the file view; false with a message the user can read.
bool LoadLogFileText(const std::string& path, std::string& text, std::string& error);

// Captions of the viewer.
std::string LiveCaption(bool monitorArmed);
std::string FileCaption(const std::string& path);

}  // namespace rur
