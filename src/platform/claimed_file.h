// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One process's hold on a file that several processes may want to act on at once (an outbox mail
// that the service and a flush both see): an exclusive lock on the open file, taken without
// waiting. The system drops it when the process ends however it ends, so a holder that crashed
// leaves nothing to take back by hand. A holder that replaces or removes the file does so while
// it holds it; whoever claims next finds the new file or none.

#include <string>

namespace rur {

enum class ClaimOutcome {
  Claimed,
  HeldElsewhere,  // another process holds it, or replaced it a moment ago: look again later
  Gone,           // nothing at the name any more
  Failed,         // it cannot be opened or read (`error` says why)
};

class ClaimedFile {
 public:
  ClaimedFile() = default;
  ~ClaimedFile() { Release(); }
  ClaimedFile(const ClaimedFile&) = delete;
  ClaimedFile& operator=(const ClaimedFile&) = delete;

  // Claims the file at `path` and reads what it holds now into `contents`.
  ClaimOutcome Claim(const std::string& path, std::string& contents, std::string& error);
  bool held() const { return handle_ != kNone; }
  void Release();

 private:
  static constexpr long kNone = -1;
  long handle_ = kNone;
};

}  // namespace rur
