// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mail over SMTP through libcurl: smtps:// on port 465, smtp:// with STARTTLS elsewhere. With
// login on, STARTTLS is required (unless the account allows a plain login), so a password never
// crosses the network in clear; without login it is used when the server offers it. Certificates
// are verified against the system's store or the account's CA file. AUTH LOGIN when login is on;
// the whole exchange is bounded by the account's time-out.

#include "notify/mail_transport.h"

namespace rur {

class CurlMailTransport final : public MailTransport {
 public:
  CurlMailTransport();
  DeliveryResult Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                      const std::function<bool()>& abort) override;
};

// The URL libcurl is given for a host and port.
std::string SmtpUrl(const std::string& host, std::uint16_t port);

}  // namespace rur
