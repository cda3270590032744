// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mail over SMTP through libcurl: smtps:// with implicit TLS, smtp:// with STARTTLS otherwise.
// A reply that refuses (4xx for now, 5xx for good) is told with the server's words, and the reply
// to the message's end answers for every recipient the server had taken.
// With login on, STARTTLS is required (unless the account allows a plain login), so a password
// never crosses the network in clear; with a CA file set it is always required; otherwise it is
// used when the server offers it, and a server that offers it and then refuses it gets no mail in
// clear. Certificates are verified against the system's store or the account's CA file. The login
// uses AUTH PLAIN or AUTH LOGIN, whichever the server offers (PLAIN first); the whole exchange is
// bounded by the account's time-out.

#include "notify/mail_transport.h"

namespace rur {

class CurlMailTransport final : public MailTransport {
 public:
  CurlMailTransport();
  DeliveryResult Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                      const std::function<bool()>& abort) override;
};

// The URL libcurl is given for a host and port.
std::string SmtpUrl(const std::string& host, std::uint16_t port, bool implicitTls);

}  // namespace rur
