// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts that name a device: its firmware revision, its product name and volumes.

#include <string>

#include "monitor/identify_block.h"

namespace rur {

enum class RevisionForm {
  Log,    // hexadecimal form "0A1B2C.3" when the revision is not printable
  Alarm,  // hexadecimal form of twelve digits, no point
};

std::string FirmwareRevisionText(const IdentifyBlock& identity, RevisionForm form = RevisionForm::Log);
// Fan and temperature are shown for controllers that say so, and for revisions 100126 and later.
bool SensorDisplay(const std::string& revisionText, bool hasSensor);
// Product name: trailing blanks and zeros cut, but never below six characters.
std::string DeviceProductName(const IdentifyBlock& identity);
std::string DeviceNameText(const std::string& productName, const std::string& volumeNames);

}  // namespace rur
