// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What rurctl mail-queue prints of the outbox, the same whether it read the outbox itself or the
// service's.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "notify/mail_center.h"
#include "notify/queued_mail.h"

namespace rur::cli {

// The waiting mails, their ages counted to `now` (civil seconds).
void PrintMailQueue(const std::string& folder, const std::vector<QueuedMail>& mails, std::int64_t now, bool json,
                    std::ostream& out);
// After a flush: what it did with the mails it found, and what still waits; the exit status (1
// while some wait).
int PrintFlushedQueue(const std::string& folder, const FlushReport& report, const std::vector<QueuedMail>& waiting,
                      std::int64_t now, bool json, std::ostream& out, std::ostream& err);

}  // namespace rur::cli
