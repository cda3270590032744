// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam between composing a mail and carrying it to the SMTP server. The production
// transport is libcurl; tests of the composition use a recording one.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rur {

struct SmtpAccount {
  std::string host;
  std::uint16_t port = 25;
  bool login = false;  // AUTH with the account and password, PLAIN or LOGIN as the server offers
  std::string account;
  std::string password;
  bool allowPlainLogin = false;  // the login may go without TLS when the server offers none
  std::string caFile;            // PEM bundle for the server's certificate; empty: the system's. Set: TLS always
  bool implicitTls = false;      // TLS from the first byte (smtps) rather than STARTTLS
  unsigned timeoutSeconds = 30;  // bounds the whole exchange, connection to QUIT
};

// Why a login was not sent: the server offered no STARTTLS.
constexpr std::string_view kNoEncryptionText = "the server offers no encryption; the password would be sent in clear";

struct OutgoingMail {
  std::string senderName;
  std::string senderAddress;
  std::vector<std::string> recipients;
  std::string subject;
  std::vector<std::string> body;  // lines; a line may itself hold line feeds
  std::string date;               // the Date header's text; empty: the time of sending
  std::string messageId;          // the Message-ID with its angle brackets; empty: a new one
};

// Progress of one delivery, in this order when all goes well. The transport may call these from
// the thread it runs on.
struct DeliveryEvents {
  std::function<void()> connected;  // the server greeted and accepted the session
  std::function<void()> workBegin;  // the message starts to flow
  std::function<void()> workEnd;    // the server took the message
};

struct DeliveryResult {
  bool delivered = false;             // the server accepted the message for at least one recipient
  std::string error;                  // why not, or what went wrong after acceptance
  std::vector<std::string> rejected;  // recipients the server refused, as "address (reply)"
  // The whole message went out and the server's verdict never came: it may have the mail.
  bool outcomeUnknown = false;
  // The server did not answer in time, could not be reached or would not talk: the next mail
  // would fare the same.
  bool serverUnreachable = false;
  // The server refused the mail for every recipient (each one's reply in `rejected`), at RCPT TO
  // or at the message's end: a 5xx is final for that recipient, a 4xx a refusal for now.
  bool refused = false;
};

class MailTransport {
 public:
  virtual ~MailTransport() = default;
  // Blocks until the exchange ends. `abort` becomes true when the caller gives up waiting; a
  // transport checks it while it waits on the network.
  virtual DeliveryResult Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                              const std::function<bool()>& abort) = 0;
};

}  // namespace rur
