// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_ui.h"

#include <algorithm>

#include "platform/safe_text.h"

namespace rur::cli {

void CliUi::panel(int index, const std::string& text) {
  if (voice_.debug) {
    err_ << "[panel " << index << "] " << TerminalText(text) << '\n';
  } else if (index == kDeviceOperationPanel && !text.empty()) {
    note(text);
  }
}

void CliUi::note(const std::string& text) {
  if (!voice_.verbose || voice_.quiet) return;
  if (barShown_) err_ << '\n';
  barShown_ = false;
  err_ << TerminalText(text, true) << '\n';
}

void CliUi::messageBox(const std::string& text, const std::string& caption, MessageKind) {
  if (barShown_) err_ << '\n';
  barShown_ = false;
  std::string oneLine = text;
  std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
  err_ << (caption.empty() ? std::string("Message") : caption) << ": " << TerminalText(oneLine) << '\n';
}

void CliUi::mailWaiting(const std::string& text) {
  if (text.empty() || voice_.quiet) return;
  if (barShown_) err_ << '\n';
  barShown_ = false;
  err_ << "Mail: " << TerminalText(text, true) << '\n';
}

void CliUi::pump() {
  if (!progressSource_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
  const auto [position, maximum] = progressSource_();
  DrawBar(position, maximum);
}

void CliUi::progress(int position, int maximum) { DrawBar(position, maximum); }

void CliUi::setProgressSource(std::function<std::pair<int, int>()> source) { progressSource_ = std::move(source); }

void CliUi::finishProgress() {
  progressSource_ = nullptr;
  if (barShown_) err_ << '\n';
  barShown_ = false;
}

void CliUi::DrawBar(int position, int maximum) {
  if (maximum <= 0 || voice_.quiet) return;
  constexpr int kWidth = 40;
  const int clamped = std::clamp(position, 0, maximum);
  const int filled = clamped * kWidth / maximum;
  err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << clamped * 100 / maximum << "% "
       << std::flush;
  barShown_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

}  // namespace rur::cli
