// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/outbox_claim.h"

#include "notify/mail_message.h"

namespace rur {
namespace {

// "@domain>" as every Message-ID of this sender ends.
std::string IdEnding(std::string_view senderAddress) {
  const std::string fresh = StampForNow(senderAddress).messageId;
  return fresh.substr(fresh.rfind('@'));
}

}  // namespace

ClaimOutcome ClaimOutboxMail(const MailOutbox& outbox, QueuedMail& mail, ClaimedFile& claim, std::string& error) {
  if (!outbox.persistent() || !mail.onDisk) return ClaimOutcome::Claimed;
  std::string text;
  const ClaimOutcome outcome = claim.Claim(outbox.PathOf(mail.id), text, error);
  if (outcome != ClaimOutcome::Claimed) return outcome;
  QueuedMail current;
  current.id = mail.id;
  if (!ParseOutboxFile(text, current, error)) {
    claim.Release();
    error = outbox.PathOf(mail.id) + ": " + error;
    return ClaimOutcome::Failed;
  }
  current.dueMs = mail.dueMs;
  current.onDisk = true;
  mail = std::move(current);
  return ClaimOutcome::Claimed;
}

std::string NewOutboxMessageId(std::string_view senderAddress) { return StampForNow(senderAddress).messageId; }

std::string StableOutboxMessageId(const QueuedMail& mail, std::string_view senderAddress) {
  return "<" + mail.id + "." + std::to_string(mail.raisedAt) + ".outbox" + IdEnding(senderAddress);
}

}  // namespace rur
