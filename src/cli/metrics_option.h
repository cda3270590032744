// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl monitor --textfile-dir DIR: the metrics file for node_exporter's textfile collector,
// written into DIR after every refresh; without the option, into the folder the settings name,
// as the window does. A folder given on the command line that is not there is refused at the
// start; a write that fails later is told once on stderr (and again after it worked in between),
// while the monitor goes on.

#include <ostream>
#include <string>

#include "app/program.h"

namespace rur::cli {

constexpr const char* kTextfileDirOption = "--textfile-dir";

class MetricsOption {
 public:
  // False, with a message, when the folder cannot take the file.
  bool Use(const std::string& folder, Program& program, std::ostream& err);
  // The folder the settings name, if any.
  void UseStored(Program& program) { program.WriteMetricsTo(program.StoredMetricsFolder()); }
  // After each slice of the run: a write that failed since the last look, once per failing streak.
  void ReportWriteFailure(const Program& program, std::ostream& err);

 private:
  bool told_ = false;
};

}  // namespace rur::cli
