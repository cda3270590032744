// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mail over SMTP through libcurl: smtp:// with STARTTLS when the server offers it (smtps:// on
// port 465), AUTH LOGIN when login is on, bounded connection and transfer times.

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
