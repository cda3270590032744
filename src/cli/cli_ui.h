// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's stand-in on a terminal: message boxes and waiting mails go to standard error (they
// are what the user must read), and a long operation's progress as a bar that redraws itself at
// most a few times a second. With --verbose the texts of device operations (the status bar's last
// panel) and the commands' own notes say what is being done; the engine's raw traces of the other
// panels only with --debug. --quiet keeps the bar and the notices away.

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "platform/user_interface.h"

namespace rur::cli {

class CliUi final : public Ui {
 public:
  struct Voice {
    bool verbose = false;
    bool debug = false;
    bool quiet = false;
  };
  CliUi(std::ostream& err, Voice voice) : err_(err), voice_(voice) {}
  // A note for --verbose: what is being done, to which device.
  void note(const std::string& text);

  void panel(int index, const std::string& text) override;
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override;
  void pump() override;
  void progress(int position, int maximum) override;
  // Waiting mails are news without --verbose too.
  void mailWaiting(const std::string& text) override;

  // While set, pump() draws the bar from this source: (position, maximum).
  void setProgressSource(std::function<std::pair<int, int>()> source);
  void finishProgress();

 private:
  void DrawBar(int position, int maximum);

  std::ostream& err_;
  Voice voice_;
  std::function<std::pair<int, int>()> progressSource_;
  std::chrono::steady_clock::time_point lastDraw_{};
  bool barShown_ = false;
};

}  // namespace rur::cli
