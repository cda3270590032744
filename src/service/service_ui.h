// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine says, in the service: everything goes on to the journal as rurctl prints it, and
// while a method collects them the message boxes are kept too, so it can answer its caller with the
// engine's own words.
// While a firmware job runs, the engine's waits call back into the service so its commands are
// still answered; only on the engine's thread, never from the detection thread.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_ui.h"

namespace rur::service {

class ServiceUi final : public Ui {
 public:
  explicit ServiceUi(cli::CliUi& journal) : journal_(journal) {}

  void panel(int index, const std::string& text) override { journal_.panel(index, text); }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    {
      std::lock_guard lock(mutex_);
      if (collecting_) boxes_.push_back({caption, text});
    }
    journal_.messageBox(text, caption, kind);
  }
  void mailWaiting(const std::string& text) override { journal_.mailWaiting(text); }
  void pump() override {
    if (std::this_thread::get_id() == owner_.load() && whileWaiting_ && !pumping_) {
      pumping_ = true;
      whileWaiting_();
      pumping_ = false;
    }
  }

  // Keeps the boxes shown from now on, until they are taken.
  void Collect() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
    collecting_ = true;
  }
  // The boxes shown since Collect, joined by a space (empty when none was), and no more kept.
  std::string TakeMessages() {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& box : boxes_) text += (text.empty() ? "" : " ") + box.second;
    boxes_.clear();
    collecting_ = false;
    return text;
  }
  // The boxes shown since Collect as rurctl prints them, a line each ("Caption: text"), and no
  // more kept.
  std::string TakeMessageLines() {
    std::lock_guard lock(mutex_);
    std::string lines;
    for (const auto& [caption, text] : boxes_) {
      std::string line = (caption.empty() ? std::string("Message") : caption) + ": " + text;
      for (char& c : line)
        if (c == '\n') c = ' ';
      lines += (lines.empty() ? "" : "\n") + line;
    }
    boxes_.clear();
    collecting_ = false;
    return lines;
  }
  // Called from the waits of the calling thread's engine work while set (empty: no more).
  void WhileWaiting(std::function<void()> work) {
    owner_ = std::this_thread::get_id();
    whileWaiting_ = std::move(work);
  }

 private:
  cli::CliUi& journal_;
  std::atomic<std::thread::id> owner_{};
  std::mutex mutex_;  // boxes_, collecting_: the detection thread may show a box too
  std::vector<std::pair<std::string, std::string>> boxes_;  // caption, text
  std::function<void()> whileWaiting_;
  bool pumping_ = false;
  bool collecting_ = false;
};

}  // namespace rur::service
