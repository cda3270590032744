// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine says, in the service: everything goes on to the journal as rurctl prints it, and
// while a method collects them the message boxes are kept too, so it can answer its caller with the
// engine's own words.
// While a firmware job runs, the engine's waits call back into the service so the bus is still
// served; only on the service's own thread, never from the detection thread.

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_ui.h"

namespace rur::service {

class ServiceUi final : public Ui {
 public:
  explicit ServiceUi(cli::CliUi& journal) : journal_(journal), owner_(std::this_thread::get_id()) {}

  void panel(int index, const std::string& text) override { journal_.panel(index, text); }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    if (collecting_) boxes_.push_back(text);
    journal_.messageBox(text, caption, kind);
  }
  void mailWaiting(const std::string& text) override { journal_.mailWaiting(text); }
  void pump() override {
    if (whileWaiting_ && !pumping_ && std::this_thread::get_id() == owner_) {
      pumping_ = true;
      whileWaiting_();
      pumping_ = false;
    }
  }

  // Keeps the boxes shown from now on, until they are taken.
  void Collect() {
    boxes_.clear();
    collecting_ = true;
  }
  // The boxes shown since Collect, joined by a space (empty when none was), and no more kept.
  std::string TakeMessages() {
    std::string text;
    for (const auto& box : boxes_) text += (text.empty() ? "" : " ") + box;
    boxes_.clear();
    collecting_ = false;
    return text;
  }
  // Called from the engine's waits while set (empty: no more).
  void WhileWaiting(std::function<void()> work) { whileWaiting_ = std::move(work); }

 private:
  cli::CliUi& journal_;
  std::thread::id owner_;
  std::vector<std::string> boxes_;
  std::function<void()> whileWaiting_;
  bool pumping_ = false;
  bool collecting_ = false;
};

}  // namespace rur::service
