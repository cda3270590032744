// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mail of the outbox goes to one sender at a time: the service, a flush from the command line
// and a window may all see the same outbox, and each takes a mail's claim before it connects.
// The claim lasts until the outcome is in the outbox (the file removed after a delivery, saved
// again after a failure); a sender that crashed loses it with its process.

#include <string>
#include <string_view>

#include "notify/mail_outbox.h"
#include "notify/queued_mail.h"
#include "platform/claimed_file.h"

namespace rur {

// Claims the mail's file and brings `mail` up to what the file says now (another sender may have
// tried it meanwhile). Without a folder, or for a mail never saved, there is nothing to claim.
ClaimOutcome ClaimOutboxMail(const MailOutbox& outbox, QueuedMail& mail, ClaimedFile& claim, std::string& error);

// The Message-ID for a mail composed now, with the sender's domain.
std::string NewOutboxMessageId(std::string_view senderAddress);
// The Message-ID of an older outbox mail saved without one: made from what never changes in it,
// so every attempt of it carries the same.
std::string StableOutboxMessageId(const QueuedMail& mail, std::string_view senderAddress);

}  // namespace rur
