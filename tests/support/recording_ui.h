// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A user-interface sink that remembers what the engine told it.

#include <array>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace rur::test {

struct RecordingUi : Ui {
  std::array<std::string, 5> panels;
  struct Box {
    std::string text, caption;
  };
  std::vector<Box> boxes;
  std::vector<UiUpdate> updates;
  int pumps = 0;

  void panel(int index, const std::string& text) override {
    if (index >= 0 && index < 5) panels[static_cast<std::size_t>(index)] = text;
  }
  void messageBox(const std::string& text, const std::string& caption, MessageKind) override {
    boxes.push_back({text, caption});
  }
  DetectionNotice notice;
  bool navigationOn = false;
  bool logAvailable = false;
  bool upgradeOn = true;
  std::string titleText;
  std::string countdown;

  void pump() override { ++pumps; }
  void update(UiUpdate what) override { updates.push_back(what); }
  void detectionNotice(const DetectionNotice& shown) override { notice = shown; }
  void navigationEnabled(bool enabled) override { navigationOn = enabled; }
  void eventLogAvailable() override { logAvailable = true; }
  void upgradeStartable(bool startable) override { upgradeOn = startable; }
  void title(const std::string& text) override { titleText = text; }
  void smartCountdown(const std::string& text) override { countdown = text; }
};

}  // namespace rur::test
