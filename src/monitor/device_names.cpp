// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/device_names.h"

#include <algorithm>
#include <cstdio>

#include "monitor/ata_text.h"

namespace rur {

std::string FirmwareRevisionText(const IdentifyBlock& identity, RevisionForm form) {
  const std::uint8_t* revision = identity.data() + identify_offset::kFirmwareRevision;
  const bool printable = std::all_of(revision, revision + identify_offset::kRevisionLength,
                                     [](std::uint8_t c) { return PrintableCharacter(c) != '?' || c == '?'; });
  if (printable) {
    std::string text(identify_offset::kRevisionLength, ' ');
    for (std::size_t k = 0; k < text.size(); ++k) text[k] = static_cast<char>(revision[k ^ 1u]);
    return text;
  }
  char text[32];
  if (form == RevisionForm::Log) {
    std::snprintf(text, sizeof text, "%02X%02X%02X.%X", revision[0], revision[1], revision[2], revision[3] & 0x0F);
  } else {
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", revision[0], revision[1], revision[2], revision[3],
                  revision[4], revision[5]);
  }
  return text;
}

bool SensorDisplay(const std::string& revisionText, bool hasSensor) {
  constexpr unsigned long kFirstRevisionWithSensors = 100126;
  if (revisionText.size() > 6 && revisionText[6] == '.' &&
      std::all_of(revisionText.begin(), revisionText.begin() + 6, [](char c) { return c >= '0' && c <= '9'; })) {
    if (std::stoul(revisionText.substr(0, 6)) >= kFirstRevisionWithSensors) return true;
  }
  return hasSensor;
}

std::string DeviceProductName(const IdentifyBlock& identity) {
  std::string name(kProductNameLength, '\0');
  for (std::size_t k = 0; k < name.size(); ++k) {
    const std::uint8_t byte = identity[identify_offset::kProductName + (k ^ 1u)];
    name[k] = byte == 0 ? '\0' : PrintableCharacter(byte);
  }
  constexpr std::size_t kKeep = 6;
  while (name.size() > kKeep && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  // A zero inside the kept part would end the text anywhere else; keep the text printable.
  std::replace(name.begin(), name.end(), '\0', ' ');
  return name;
}

std::string DeviceNameText(const std::string& productName, const std::string& volumeNames) {
  return productName + " [" + volumeNames + "]";
}

}  // namespace rur
