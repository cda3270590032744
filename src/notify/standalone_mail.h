// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mail centre of a run without the engine, as rurctl's mail commands use it: the settings
// file of the run, libcurl for delivery and this host's description. Status-bar texts go on to
// the run's sink; message boxes are kept for the caller, who has no window to show them in.

#include <string>
#include <vector>

#include "notify/curl_mail_transport.h"
#include "notify/mail_center.h"
#include "notify/reg_file_store.h"
#include "notify/settings_location.h"

namespace rur {

class StandaloneMail {
 public:
  // `settingsDataDirectory` empty: the system settings folder.
  StandaloneMail(const std::string& settingsDataDirectory, Ui& ui, Clock& clock);

  // The program's start-up steps and the first load; false when nothing could be loaded.
  bool Load();
  // The message boxes shown since the last call.
  std::vector<std::string> TakeMessages();

  MailCenter& center() { return center_; }
  // The settings file, or the registry key that holds the settings.
  const std::string& settingsPath() const { return settings_.name; }

 private:
  class CollectingUi final : public Ui {
   public:
    explicit CollectingUi(Ui& next) : next_(next) {}
    void panel(int index, const std::string& text) override { next_.panel(index, text); }
    void messageBox(const std::string& text, const std::string&, MessageKind) override { boxes.push_back(text); }
    void pump() override { next_.pump(); }
    std::vector<std::string> boxes;

   private:
    Ui& next_;
  };

  CollectingUi ui_;
  OpenedSettings settings_;
  CurlMailTransport transport_;
  MailCenter center_;
};

}  // namespace rur
