// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lines for the systemd journal. When a service's output goes straight to the journal, systemd
// says so in $JOURNAL_STREAM ("device:inode" of that stream); a line that starts with "<N>" is then
// logged with priority N instead of the unit's default.

#include <string>
#include <string_view>

namespace rur {

enum class JournalPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// Whether the file descriptor is the stream $JOURNAL_STREAM names.
bool StreamIsJournal(int fd);
// The line with its priority prefix when toJournal, else as it is.
std::string JournalLine(std::string_view line, JournalPriority priority, bool toJournal);

}  // namespace rur
