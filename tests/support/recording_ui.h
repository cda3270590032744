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
  void pump() override { ++pumps; }
  void update(UiUpdate what) override { updates.push_back(what); }
};

}  // namespace rur::test
