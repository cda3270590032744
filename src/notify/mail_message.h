// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of an outgoing mail as it goes over the wire: headers From, To, Subject, Date,
// Message-ID, MIME-Version and Content-Type, then the body in UTF-8, every line ended by CR LF.
// Dot-stuffing is the transport's work.

#include <ctime>
#include <string>
#include <string_view>

#include "notify/mail_transport.h"
#include "platform/clock.h"

namespace rur {

struct MessageStamp {
  std::string date;       // RFC 5322 date-time
  std::string messageId;  // with its angle brackets
};

// The date of a moment in local time, with the zone offset, in English names whatever the locale.
std::string MailDateText(std::time_t moment);
// The date of a local calendar time that is `utcOffsetSeconds` ahead of UTC.
std::string MailDateText(const LocalDateTime& time, int utcOffsetSeconds);
// Date and Message-ID for a mail sent now; a given date text is kept.
MessageStamp StampForNow(std::string_view senderAddress, const std::string& date = {});

std::string ComposeMessage(const OutgoingMail& mail, const MessageStamp& stamp);

// A header text as is when it is plain ASCII, else as UTF-8 encoded words; line breaks become blanks.
std::string EncodeHeaderText(std::string_view text);
// "Name" <address>, or the address alone when there is no name.
std::string FormatMailbox(std::string_view name, std::string_view address);
// An address that can go into an SMTP command: no blanks, controls or angle brackets.
bool IsUsableAddress(std::string_view address);
// The address without the blanks around it.
std::string TrimAddress(std::string_view address);

}  // namespace rur
