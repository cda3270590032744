// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What firmware tests share: a Ui that records what the user would see, and image files.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "platform/user_interface.h"

namespace rur::test {

struct MessageBoxSeen {
  std::string text;
  std::string caption;
  MessageKind kind;
};

struct FirmwareUi : Ui {
  std::vector<std::string> panelTexts[5];
  std::vector<MessageBoxSeen> boxes;
  std::vector<bool> selectorStates;
  std::vector<std::pair<int, int>> progressSeen;
  bool panelShown = false;
  std::vector<std::string> panelCaptions;
  std::string label;
  std::function<void()> onPump;

  void panel(int index, const std::string& text) override { panelTexts[index].push_back(text); }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    boxes.push_back({text, caption, kind});
  }
  void pump() override {
    if (onPump) onPump();
  }
  void deviceSelectorsEnabled(bool enabled) override { selectorStates.push_back(enabled); }
  void progress(int position, int maximum) override { progressSeen.emplace_back(position, maximum); }
  void upgradePanel(bool shown, const std::string& caption, const std::string& labelText) override {
    panelShown = shown;
    if (shown) panelCaptions.push_back(caption);
    label = labelText;
  }

  std::string lastPanel(int index) const {
    return panelTexts[index].empty() ? std::string() : panelTexts[index].back();
  }
  bool panelShowed(int index, const std::string& text) const {
    for (const auto& t : panelTexts[index])
      if (t == text) return true;
    return false;
  }
};

struct ImageSpec {
  std::uint32_t length = 4096;
  std::uint8_t firmwareType = 0x21;
  std::uint32_t version = 0x14010100;
  std::uint8_t productCode[2] = {0x27, 0x60};
};

// A well-formed image; the code bytes follow a pattern so misplaced blocks show up.
inline std::vector<std::uint8_t> MakeImage(const ImageSpec& spec) {
  std::vector<std::uint8_t> bytes(spec.length);
  for (std::uint32_t i = 0; i < spec.length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + (i >> 8)) ^ 0x5A);
  if (spec.length < image_offset::kHeaderEnd) return bytes;
  std::copy(kImageSignature.begin(), kImageSignature.end(), bytes.begin() + image_offset::kSignature);
  std::copy(kImageGuid.begin(), kImageGuid.end(), bytes.begin() + image_offset::kGuid);
  bytes[image_offset::kFirmwareType] = spec.firmwareType;
  for (int k = 0; k < 4; ++k) bytes[image_offset::kVersion + k] = static_cast<std::uint8_t>(spec.version >> (24 - 8 * k));
  bytes[image_offset::kProductCode] = spec.productCode[0];
  bytes[image_offset::kProductCode + 1] = spec.productCode[1];
  return bytes;
}

// Puts bytes into image as a successful load would: padded with erased bytes to whole blocks.
inline void HoldImage(FirmwareImage& image, const std::vector<std::uint8_t>& bytes) {
  image.bytes = bytes;
  image.bytes.resize((bytes.size() + kImageBlockSize - 1) / kImageBlockSize * kImageBlockSize, 0xFF);
  image.length = static_cast<std::uint32_t>(bytes.size());
}

// A device whose identity carries this version and product code.
inline UpgradeDeviceFacts DeviceFacts(std::uint32_t version, std::uint8_t code0, std::uint8_t code1,
                                      ControllerKind kind = ControllerKind::Raid) {
  UpgradeDeviceFacts facts;
  facts.controllerKind = kind;
  for (int k = 0; k < 4; ++k)
    facts.identify[identify_offset::kFirmwareVersion + k] = static_cast<std::uint8_t>(version >> (24 - 8 * k));
  facts.identify[identify_offset::kProductCode] = code0;
  facts.identify[identify_offset::kProductCode + 1] = code1;
  return facts;
}

}  // namespace rur::test
