// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place the service asks polkit whether the caller of a method may do what it asks. The
// question is asked without waiting: other callers are served while polkit (and the user's
// password prompt) takes its time, and the answer comes back on the bus thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

namespace rur::service {

constexpr const char* kActionUpgradeFirmware = "org.roderur.RodeRur1.upgrade-firmware";
constexpr const char* kActionBackupFirmware = "org.roderur.RodeRur1.backup-firmware";
constexpr const char* kActionManageMail = "org.roderur.RodeRur1.manage-mail";

class Authority {
 public:
  explicit Authority(sdbus::IConnection& connection);

  // Empty when polkit consents; else Error.NotAuthorized "not authorized: <what>".
  using Answer = std::function<void(std::optional<sdbus::Error> refusal)>;
  // Asks polkit about `sender` (its bus name is the subject) and gives `answer` its verdict on
  // the bus thread. A polkit that is missing, fails or does not answer in time refuses.
  void Check(const std::string& sender, const char* action, const std::string& what, Answer answer);
  // The sender of the call being handled on `object`.
  static std::string SenderOf(const sdbus::IObject& object);

 private:
  std::unique_ptr<sdbus::IProxy> polkit_;
};

}  // namespace rur::service
