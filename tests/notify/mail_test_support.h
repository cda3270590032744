// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pieces the mail tests share: a transport that records what it was asked to send, and a scratch
// folder.

#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "notify/mail_transport.h"

namespace rur::mailtest {

struct RecordingTransport : MailTransport {
  struct Call {
    SmtpAccount account;
    OutgoingMail mail;
  };
  std::vector<Call> calls;
  DeliveryResult answer{true, {}, {}};
  std::deque<DeliveryResult> nextAnswers;  // answered first, one a call, before `answer`
  std::function<void()> during;            // runs inside the delivery, as if the window pumped meanwhile

  DeliveryResult Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                      const std::function<bool()>&) override {
    calls.push_back({account, mail});
    events.connected();
    events.workBegin();
    if (during) during();
    DeliveryResult result = answer;
    if (!nextAnswers.empty()) {
      result = nextAnswers.front();
      nextAnswers.pop_front();
    }
    if (result.delivered) events.workEnd();
    return result;
  }
};

class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("rur-mail-" + std::to_string(getpid()) + "-" + std::to_string(++Counter()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string path() const { return path_.string(); }
  std::string slashed() const { return path_.string() + "/"; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::filesystem::path path_;
};

}  // namespace rur::mailtest
