// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows build carries no mail library: every delivery fails with a text that says so, and
// the mail centre keeps alarm mails in the outbox as with any failed delivery.
#include "notify/curl_mail_transport.h"

namespace rur {

constexpr const char* kNoMailText =
    "This Windows build of RODE RUR has no mail: it cannot send mail, and alarm mails stay in the outbox.";

CurlMailTransport::CurlMailTransport() = default;

std::string SmtpUrl(const std::string& host, std::uint16_t port, bool implicitTls) {
  const bool literalV6 = host.find(':') != std::string::npos && host.front() != '[';
  return std::string(implicitTls ? "smtps://" : "smtp://") + (literalV6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

DeliveryResult CurlMailTransport::Send(const SmtpAccount&, const OutgoingMail&, DeliveryEvents&,
                                       const std::function<bool()>&) {
  DeliveryResult result;
  result.error = kNoMailText;
  return result;
}

}  // namespace rur
