// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place the service asks polkit whether the caller of a method may do what it asks.

#include <string>

#include <sdbus-c++/sdbus-c++.h>

namespace rur::service {

constexpr const char* kActionUpgradeFirmware = "org.roderur.RodeRur1.upgrade-firmware";
constexpr const char* kActionBackupFirmware = "org.roderur.RodeRur1.backup-firmware";
constexpr const char* kActionManageMail = "org.roderur.RodeRur1.manage-mail";

// Asks polkit about the sender of the message being handled (its bus name is the subject) and
// throws Error.NotAuthorized "not authorized: <what>" unless polkit consents. Without polkit on
// the bus, nothing is authorized.
void RequireAuthorization(const sdbus::IObject& object, const char* action, const std::string& what);

}  // namespace rur::service
