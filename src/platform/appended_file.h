// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Adding lines to the end of a file that is never rewritten (the day logs): the cost of a write
// does not grow with the file, another writer's lines are never overwritten, and a crash can at
// worst lose the lines being written.

#include <string>

#include "platform/atomic_file.h"

namespace rur {

// Adds `text` (whole lines) to the end of the file at `path` in one write, without following a
// link or waiting on a FIFO; a new file gets `mode` whatever the umask. A write cut short is taken
// back so no line is ever split, and a last line left unended gets its end before the new lines.
// False with the error when nothing of `text` was added.
bool AppendWholeLines(const std::string& path, const std::string& text, mode_t mode, std::string& error);
// What a file whose last byte is `last` needs before new lines: nothing after a whole line, the
// LF of a line cut between its CR and LF (so its text stays as it was), or a whole CR LF.
inline const char* LineEndAfter(char last) { return last == '\n' ? "" : last == '\r' ? "\n" : "\r\n"; }
// Whether something is at `path`, without following a link or opening it.
FileReadStatus ProbeFile(const std::string& path);

}  // namespace rur
