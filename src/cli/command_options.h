// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a command's own options and words hold once the command line was read (command_line.cpp
// declares which command takes which). Values are checked there, so a command gets them in range.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rur::cli {

struct CommandOptions {
  std::vector<std::string> words;           // the command's own words: a file, a query code, a key and value
  bool json = false;                        // --json
  unsigned device = 0;                      // --device N, numbered from 1; 0 when not given
  std::string drive;                        // --drive D as given; engine_session.cpp reads it
  unsigned bay = 1;                         // --bay 1|2
  std::optional<std::uint64_t> forSeconds;  // monitor --for
  std::vector<std::string> exec;            // monitor --exec PROG, in the order given
  std::optional<std::string> textfileDir;   // monitor --textfile-dir DIR
  bool yes = false;                         // firmware --yes
  bool dryRun = false;                      // firmware --dry-run
  bool force = false;                       // firmware --force
  std::uint64_t length = 1u << 20;          // firmware-backup --length
  bool flush = false;                       // mail-queue --flush
  std::string group;                        // udev-rule --group
};

}  // namespace rur::cli
