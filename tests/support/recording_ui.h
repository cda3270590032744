// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user-interface sink of the tests: it remembers everything the engine and its parts told the
// user, in order, and lets a test act inside long operations through onPump. The detection thread
// on the real clock calls panel() and pump() off the main context, so each panel keeps a history
// of its own and writes to different panels never touch the same container.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/user_interface.h"

namespace rur::test {

struct RecordingUi : Ui {
  static constexpr int kPanelCount = 5;

  struct Box {
    std::string text;
    std::string caption;
    MessageKind kind = MessageKind::Plain;
    bool operator==(const Box&) const = default;
    friend void PrintTo(const Box& box, std::ostream* out) {
      *out << '"' << box.text << "\" / \"" << box.caption << "\" / kind " << static_cast<int>(box.kind);
    }
  };

  std::array<std::string, kPanelCount> panels;                   // the text each panel shows now
  std::array<std::vector<std::string>, kPanelCount> panelTexts;  // every text each panel showed
  std::vector<Box> boxes;
  std::vector<UiUpdate> updates;
  int pumps = 0;
  std::vector<bool> selectorStates;               // every deviceSelectorsEnabled call
  std::vector<std::pair<int, int>> progressSeen;  // (position, maximum) of every progress call
  bool panelShown = false;                        // the upgrade panel, as last set
  std::vector<std::string> panelCaptions;         // its caption every time it was shown
  std::string label;                              // the label inside it, as last set
  std::vector<std::string> firmwareFiles;         // every file name shown for the Upgrade page
  std::function<void()> onPump;                   // runs inside every pump, as the window's event loop would

  void panel(int index, const std::string& text) override {
    if (index < 0 || index >= kPanelCount) {
      ADD_FAILURE() << "text for panel " << index << ", which the status bar does not have: " << text;
      return;
    }
    panels[static_cast<std::size_t>(index)] = text;
    panelTexts[static_cast<std::size_t>(index)].push_back(text);
  }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    boxes.push_back({text, caption, kind});
  }
  void pump() override {
    ++pumps;
    if (onPump) onPump();
  }
  DetectionNotice notice;
  bool navigationOn = false;
  bool logAvailable = false;
  bool upgradeOn = true;
  std::string titleText;
  std::string countdown;
  std::vector<std::string> mailNotices;  // every "mails wait in the outbox" notice

  void detectionNotice(const DetectionNotice& shown) override { notice = shown; }
  void navigationEnabled(bool enabled) override { navigationOn = enabled; }
  void eventLogAvailable() override { logAvailable = true; }
  void upgradeStartable(bool startable) override { upgradeOn = startable; }
  void title(const std::string& text) override { titleText = text; }
  void smartCountdown(const std::string& text) override { countdown = text; }
  void mailWaiting(const std::string& text) override { mailNotices.push_back(text); }
  void update(UiUpdate what) override { updates.push_back(what); }
  void deviceSelectorsEnabled(bool enabled) override { selectorStates.push_back(enabled); }
  void progress(int position, int maximum) override { progressSeen.emplace_back(position, maximum); }
  void upgradePanel(bool shown, const std::string& caption, const std::string& labelText) override {
    panelShown = shown;
    if (shown) panelCaptions.push_back(caption);
    label = labelText;
  }
  void firmwareFile(const std::string& name) override { firmwareFiles.push_back(name); }

  bool panelShowed(int index, const std::string& text) const {
    const auto& texts = panelTexts.at(static_cast<std::size_t>(index));
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
};

}  // namespace rur::test
