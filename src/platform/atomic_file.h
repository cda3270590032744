// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-file reads and crash-safe whole-file writes: a write goes to a temporary file beside the
// target, is flushed to the disk and renamed over it, so a reader sees the old file or the new
// one, never half of either.
//
// Neither follows a symbolic link at the file's name: a link there is refused, so nobody can point
// the program's files at someone else's.

#include <sys/types.h>
#include <string>

namespace rur {

enum class FileReadStatus { Ok, Missing, Failed };

// Anything at the name that is not a regular file (a FIFO, a device, a folder) is refused at once,
// with an error that names the file: the open never waits for a writer.
FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, std::string& error);
// Whether the open file is a regular one; else `error` says what it is, naming `path`.
bool IsRegularFile(int fd, const std::string& path, const std::string& what, std::string& error);
// LessUmask: a file a user may share (ordinary files pass 0666). Exact: the program's own files
// (settings, outbox, logs) get the mode they need whatever the umask says.
enum class FileModeUse { LessUmask, Exact };
// The new file gets `mode` as `use` says. An existing target that is not a regular file (a device,
// a FIFO, a folder) is refused, never replaced. Every step is checked, the flush of the folder
// after the rename too: true means the new file survives a crash.
bool WriteFileAtomically(const std::string& path, const std::string& contents, mode_t mode, std::string& error,
                         FileModeUse use = FileModeUse::LessUmask);
// Flushes the folder's entries (after a rename or a new file in it); false with an error naming `path`.
bool SyncFolderOf(const std::string& folder, const std::string& path, std::string& error);
// Tests stand in for a crash between writing the temporary file and renaming it: when the hook
// returns false the write stops there, leaving the temporary file as a killed process would.
using BeforeRenameHook = bool (*)(const std::string& temporaryPath);
void SetBeforeRenameHookForTests(BeforeRenameHook hook);
// The process's file-creation mask, read without changing it.
mode_t CurrentUmask();
// Creates the folder and its missing parents with exactly `mode`, whatever the umask.
bool MakeFolders(const std::string& folder, mode_t mode, std::string& error);
// Removes a file; a file that is not there counts as removed.
bool RemoveFileIfPresent(const std::string& path, std::string& error);

}  // namespace rur
