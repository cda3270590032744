#pragma once
// Whole-file reads and crash-safe whole-file writes: a write goes to a temporary file beside the
// target, is flushed to the disk and renamed over it, so a reader sees the old file or the new
// one, never half of either.

#include <string>
#include <sys/types.h>

namespace rur {

enum class FileReadStatus { Ok, Missing, Failed };

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, std::string& error);
// The new file gets exactly `mode`, whatever the umask says. An existing target that is not a
// regular file (a device, a FIFO, a folder) is refused, never replaced.
bool WriteFileAtomically(const std::string& path, const std::string& contents, mode_t mode, std::string& error);
// Tests stand in for a crash between writing the temporary file and renaming it: when the hook
// returns false the write stops there, leaving the temporary file as a killed process would.
using BeforeRenameHook = bool (*)(const std::string& temporaryPath);
void SetBeforeRenameHookForTests(BeforeRenameHook hook);
// Creates the folder and its missing parents with `mode`.
bool MakeFolders(const std::string& folder, mode_t mode, std::string& error);
// Removes a file; a file that is not there counts as removed.
bool RemoveFileIfPresent(const std::string& path, std::string& error);

}  // namespace rur
