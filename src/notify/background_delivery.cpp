// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/background_delivery.h"

namespace rur {

BackgroundDelivery::~BackgroundDelivery() { Join(); }

void BackgroundDelivery::Join() {
  if (worker_.joinable()) worker_.join();
}

bool BackgroundDelivery::Start(SmtpAccount account, OutgoingMail mail) {
  {
    std::lock_guard lock(mutex_);
    if (busy_) return false;
    busy_ = true;
    done_ = false;
    steps_.clear();
    result_ = {};
  }
  abortRequested_ = false;
  Join();
  worker_ = std::thread([this, account = std::move(account), mail = std::move(mail)] {
    auto post = [this](DeliveryStep step) {
      std::lock_guard lock(mutex_);
      steps_.push_back(step);
      wake_.notify_all();
    };
    DeliveryEvents events;
    events.connected = [post] { post(DeliveryStep::Connected); };
    events.workBegin = [post] { post(DeliveryStep::WorkBegin); };
    events.workEnd = [post] { post(DeliveryStep::WorkEnd); };
    // The transport bounds the exchange itself; this is the last line should it overrun.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(account.timeoutSeconds + 1);
    const std::function<bool()> abort = [this, deadline] {
      return abortRequested_ || std::chrono::steady_clock::now() >= deadline;
    };
    DeliveryResult result = transport_.Send(account, mail, events, abort);
    std::lock_guard lock(mutex_);
    result_ = std::move(result);
    done_ = true;
    wake_.notify_all();
  });
  return true;
}

bool BackgroundDelivery::busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

std::deque<DeliveryStep> BackgroundDelivery::TakeSteps() {
  std::lock_guard lock(mutex_);
  std::deque<DeliveryStep> taken;
  taken.swap(steps_);
  return taken;
}

std::optional<DeliveryResult> BackgroundDelivery::TakeResult() {
  {
    std::lock_guard lock(mutex_);
    if (!busy_ || !done_ || !steps_.empty()) return std::nullopt;
    busy_ = false;
  }
  Join();
  return std::move(result_);
}

bool BackgroundDelivery::WaitFor(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, wait, [this] { return !busy_ || done_ || !steps_.empty(); });
  return !busy_ || done_;
}

}  // namespace rur
