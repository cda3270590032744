// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One SMTP exchange on a worker thread, so that neither the engine nor the window waits for a
// slow or silent server. The whole exchange, connection to QUIT, is bounded by the account's
// time-out in real time, on the real and the virtual clock alike. The owner looks at it from its
// main context: the progress steps in order, then the result.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "notify/mail_transport.h"

namespace rur {

enum class DeliveryStep { Connected, WorkBegin, WorkEnd };

class BackgroundDelivery {
 public:
  explicit BackgroundDelivery(MailTransport& transport) : transport_(transport) {}
  // Waits for an exchange in flight; its own time-out bounds the wait.
  ~BackgroundDelivery();
  BackgroundDelivery(const BackgroundDelivery&) = delete;
  BackgroundDelivery& operator=(const BackgroundDelivery&) = delete;

  // Starts an exchange; false while one is in flight or its result was not taken yet.
  bool Start(SmtpAccount account, OutgoingMail mail);
  // Started and its result not taken yet.
  bool busy() const;
  // The progress reported since the last look.
  std::deque<DeliveryStep> TakeSteps();
  // The result once the exchange ended; the next Start may follow.
  std::optional<DeliveryResult> TakeResult();
  // Gives up the exchange in flight (a stop that cannot wait longer); its result follows soon.
  void Abort() { abortRequested_ = true; }
  // Waits up to `wait` in real time for the exchange to end (or a step to arrive); true when it ended.
  bool WaitFor(std::chrono::milliseconds wait);

 private:
  void Join();

  MailTransport& transport_;
  std::atomic<bool> abortRequested_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread worker_;
  bool busy_ = false;
  bool done_ = false;
  std::deque<DeliveryStep> steps_;
  DeliveryResult result_;
};

}  // namespace rur
