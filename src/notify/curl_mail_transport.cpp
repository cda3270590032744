// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/curl_mail_transport.h"

#include <curl/curl.h>

#include <cstring>
#include <string>

#include "notify/curl_library.h"
#include "notify/greeting_name.h"
#include "notify/mail_message.h"

namespace rur {

namespace {

// Let the server refuse single recipients without dropping the mail for all the others. The
// option's name changed spelling between libcurl releases; its number did not.
constexpr auto kOptionRecipientsMayFail = static_cast<CURLoption>(290);

struct Exchange {
  std::string message;
  std::size_t sent = 0;
  bool messageSent = false;  // the last byte was handed over: only the end of data and the verdict remain
  bool verdictCame = false;  // a reply arrived after that
  std::string verdict;       // the server's final reply to the message
  bool sessionOpen = false;
  bool transferStarted = false;
  std::string lastCommand;       // the verb of the last command sent; empty while the greeting is awaited
  std::string pendingRecipient;  // the address of a RCPT TO waiting for its answer
  std::vector<std::string> accepted;
  std::vector<std::string> rejected;
  std::string lastRefusal;     // the server's last refusal, which says more than the error code
  std::string refusedCommand;  // the verb it answered; empty for a refused greeting
  bool tlsOffered = false;     // the server's EHLO lists STARTTLS
  bool tlsAsked = false;       // STARTTLS sent, its answer awaited
  std::string tlsRefusal;      // the server offered STARTTLS and then refused it: nothing more may go in clear
  std::string malformed;       // a reply line that is no SMTP reply: waiting for a proper one is pointless
  DeliveryEvents* events = nullptr;
  const std::function<bool()>* abort = nullptr;
};

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (!exchange.tlsRefusal.empty() || !exchange.malformed.empty()) return CURL_READFUNC_ABORT;
  if (!exchange.transferStarted) {
    exchange.transferStarted = true;
    if (exchange.events->workBegin) exchange.events->workBegin();
  }
  const std::size_t room = size * count;
  const std::size_t n = std::min(room, exchange.message.size() - exchange.sent);
  std::memcpy(buffer, exchange.message.data() + exchange.sent, n);
  exchange.sent += n;
  if (exchange.sent == exchange.message.size()) exchange.messageSent = true;
  return n;
}

int WatchAbort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& exchange = *static_cast<Exchange*>(user);
  return (*exchange.abort)() || !exchange.tlsRefusal.empty() || !exchange.malformed.empty() ? 1 : 0;
}

std::string StripLineEnd(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// A server's line as a message may quote it: control characters as "?", at most a line's worth.
std::string Printable(const std::string& line) {
  constexpr std::size_t kQuotedLength = 80;
  std::string text = line.substr(0, kQuotedLength);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return line.size() > kQuotedLength ? text + "..." : text;
}

// An SMTP reply line: three digits, the first 2 to 5, then the end, a space or a hyphen.
bool IsReplyLine(const std::string& line) {
  constexpr std::size_t kCodeLength = 3;
  const auto digit = [&](std::size_t i) { return line[i] >= '0' && line[i] <= '9'; };
  return line.size() >= kCodeLength && line[0] >= '2' && line[0] <= '5' && digit(1) && digit(2) &&
         (line.size() == kCodeLength || line[kCodeLength] == ' ' || line[kCodeLength] == '-');
}

// The last line of a reply ("550 ..." rather than "550-..."), which settles it.
bool IsFinalLine(const std::string& reply) { return reply.size() == 3 || reply[3] == ' '; }
bool IsRefusal(const std::string& reply) { return !reply.empty() && (reply[0] == '4' || reply[0] == '5'); }
// A 4xx reply: the server may say yes later.
bool IsTemporary(const std::string& reply) { return !reply.empty() && reply[0] == '4'; }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

// The verb of a command line. The lines of a login in progress are the account and password in
// base64: they are never kept, and count as the login's.
std::string CommandVerb(const std::string& command) {
  for (const char* verb : {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL FROM", "RCPT TO", "DATA", "RSET", "QUIT"})
    if (StartsWithNoCase(command, verb)) return verb;
  return "AUTH";
}

// Follows the protocol exchange: the first MAIL FROM means the session is open, the answer to
// each RCPT TO says whether the server takes that recipient, and the reply after the message's
// end whether it takes the mail.
int WatchExchange(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    const std::string command = StripLineEnd(data, size);
    exchange.lastCommand = CommandVerb(command);
    if (exchange.lastCommand == "MAIL FROM" && !exchange.sessionOpen) {
      exchange.sessionOpen = true;
      if (exchange.events->connected) exchange.events->connected();
    }
    exchange.pendingRecipient.clear();
    exchange.tlsAsked = exchange.lastCommand == "STARTTLS";
    if (exchange.lastCommand == "RCPT TO") {
      std::string address = command.substr(8);
      if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = address.substr(1, address.size() - 2);
      exchange.pendingRecipient = address;
    }
  } else if (type == CURLINFO_HEADER_IN) {
    const std::string reply = StripLineEnd(data, size);
    if (!IsReplyLine(reply)) {
      // The mail library would wait for a proper line until the time-out; the server has said
      // something else, and that is what the user learns.
      if (exchange.malformed.empty()) exchange.malformed = reply;
      return 0;
    }
    const bool final = IsFinalLine(reply);
    if (exchange.messageSent) {
      exchange.verdictCame = true;
      if (final && exchange.verdict.empty()) exchange.verdict = reply;
    }
    if (final && IsRefusal(reply)) {
      exchange.lastRefusal = reply;
      exchange.refusedCommand = exchange.lastCommand;
    }
    if (reply.size() > 4 && reply.starts_with("250") && StartsWithNoCase(reply.substr(4), "STARTTLS"))
      exchange.tlsOffered = true;
    if (exchange.tlsAsked && exchange.tlsOffered && reply[0] != '2') {
      exchange.tlsRefusal = reply;
      exchange.tlsAsked = false;
    }
    if (exchange.pendingRecipient.empty() || !final) return 0;
    if (IsRefusal(reply))
      exchange.rejected.push_back(exchange.pendingRecipient + " (" + reply + ")");
    else
      exchange.accepted.push_back(exchange.pendingRecipient);
    exchange.pendingRecipient.clear();
  }
  return 0;
}

std::string ServerName(const SmtpAccount& account) { return account.host + " port " + std::to_string(account.port); }

// A refusal in words: `what` the server refused, for now (4xx) or for good (5xx), and its reply.
std::string RefusalText(const SmtpAccount& account, const std::string& what, const std::string& reply) {
  return "The mail server " + ServerName(account) + " refused " + what +
         (IsTemporary(reply) ? " for now, a temporary refusal" : "") + ": \"" + Printable(reply) + "\".";
}

// The failures whose code says more than the server's last reply; empty for the others.
std::string KnownFailureText(CURLcode code, const char* detail, const Exchange& exchange, const SmtpAccount& account,
                             bool aborted) {
  const std::string server = ServerName(account);
  const std::string& lastRefusal = exchange.lastRefusal;
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return "The mail server " + server + " did not answer within " + std::to_string(account.timeoutSeconds) + " s.";
    case CURLE_USE_SSL_FAILED:
      if (!lastRefusal.empty())
        return "The mail server " + server + " refused STARTTLS: \"" + Printable(lastRefusal) +
               "\"; the mail is not sent in clear.";
      if (account.login && !account.allowPlainLogin) return std::string(kNoEncryptionText);
      if (!account.caFile.empty())
        return "The mail server " + server + " offers no encryption, and with a certificate file set mail goes " +
               "only over TLS.";
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
      return "The certificate of the mail server " + server + " could not be verified" +
             (account.caFile.empty() ? std::string(" against the system's certificates")
                                     : " against " + account.caFile) +
             (detail && *detail ? std::string(" (") + detail + ")." : std::string("."));
    case CURLE_SSL_CACERT_BADFILE: return "The certificate file " + account.caFile + " cannot be used.";
    case CURLE_LOGIN_DENIED:
      return "The mail server " + server + " refused the login of account \"" + account.account + "\"" +
             (lastRefusal.empty() ? std::string(".") : ": \"" + Printable(lastRefusal) + "\".");
    case CURLE_ABORTED_BY_CALLBACK:
      if (aborted) return "Sending mail to " + server + " was given up.";
      break;
    default: break;
  }
  return {};
}

// The greeting's name as the URL's path, which the mail library sends in EHLO.
std::string EhloPath(const SmtpAccount& account) {
  const std::string name = GreetingName(account.host, account.port);
  std::string path = "/";
  constexpr const char* kHexDigits = "0123456789ABCDEF";
  for (const char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.') {
      path.push_back(c);
    } else {
      path += '%';
      path.push_back(kHexDigits[static_cast<unsigned char>(c) >> 4]);
      path.push_back(kHexDigits[static_cast<unsigned char>(c) & 0xF]);
    }
  }
  return path;
}

// What an exchange that did not end well comes to.
void DescribeFailure(const CurlLibrary& library, CURLcode code, const char* detail, const Exchange& exchange,
                     const SmtpAccount& account, const OutgoingMail& mail, bool aborted, DeliveryResult& result) {
  const std::string server = ServerName(account);
  result.rejected = exchange.rejected;
  if (!exchange.malformed.empty()) {
    result.error = "The mail server " + server + " sent a malformed reply: \"" + Printable(exchange.malformed) + "\".";
    return;
  }
  if (!exchange.tlsRefusal.empty()) {
    result.error = "The mail server " + server + " offered STARTTLS and then refused it: \"" +
                   Printable(exchange.tlsRefusal) + "\"; the mail is not sent in clear.";
    return;
  }
  // The reply to the message's end answers for every recipient the server had taken, as a reply
  // to RCPT TO answers for one.
  if (IsRefusal(exchange.verdict)) {
    for (const auto& address : exchange.accepted) result.rejected.push_back(address + " (" + exchange.verdict + ")");
    result.refused = true;
    result.error = RefusalText(account, "the mail", exchange.verdict);
    return;
  }
  if (!exchange.rejected.empty() && exchange.rejected.size() == mail.recipients.size()) {
    result.refused = true;
    bool allTemporary = true;
    std::string list;
    for (const auto& refusal : exchange.rejected) {
      const std::size_t open = refusal.find(" (");
      allTemporary = allTemporary && open != std::string::npos && IsTemporary(refusal.substr(open + 2));
      list += (list.empty() ? "" : ", ") + Printable(refusal);
    }
    result.error = "The mail server " + server + " refused every recipient" +
                   (allTemporary ? " for now, a temporary refusal" : "") + ": " + list + ".";
    return;
  }
  // Lost after the end of data: the server may have taken the mail without saying so.
  result.outcomeUnknown = exchange.messageSent && !exchange.verdictCame;
  result.serverUnreachable = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_COULDNT_CONNECT ||
                             code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_ABORTED_BY_CALLBACK;
  result.error = KnownFailureText(code, detail, exchange, account, aborted);
  if (!result.error.empty()) return;
  if (!exchange.lastRefusal.empty()) {
    const bool greeting = exchange.refusedCommand.empty();
    // A server that will not talk now will not talk for the next mail either.
    result.serverUnreachable = result.serverUnreachable || greeting;
    result.error = RefusalText(account, greeting ? "the session" : exchange.refusedCommand, exchange.lastRefusal);
    return;
  }
  result.error = "Sending mail to " + server + " failed: " + library.easyStrerror(code);
  if (detail && *detail) result.error += std::string(" (") + detail + ")";
  result.error += ".";
}

}  // namespace

CurlMailTransport::CurlMailTransport() = default;

std::string SmtpUrl(const std::string& host, std::uint16_t port, bool implicitTls) {
  const bool literalV6 = host.find(':') != std::string::npos && host.front() != '[';
  return std::string(implicitTls ? "smtps://" : "smtp://") + (literalV6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

DeliveryResult CurlMailTransport::Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                                       const std::function<bool()>& abort) {
  DeliveryResult result;
  std::string loadError;
  const CurlLibrary* library = MailLibrary(loadError);
  if (library == nullptr) {
    result.error = "The mail library could not be loaded (" + loadError + ").";
    return result;
  }
  CURL* curl = library->easyInit();
  if (!curl) {
    result.error = "The mail library could not start.";
    return result;
  }
  Exchange exchange;
  MessageStamp stamp = StampForNow(mail.senderAddress, mail.date);
  // Every attempt of one outbox mail carries its Message-ID, so copies can be told for what they are.
  if (!mail.messageId.empty()) stamp.messageId = mail.messageId;
  exchange.message = ComposeMessage(mail, stamp);
  exchange.events = &events;
  exchange.abort = &abort;

  curl_slist* recipients = nullptr;
  for (const auto& recipient : mail.recipients)
    recipients = library->slistAppend(recipients, ("<" + recipient + ">").c_str());
  const std::string url = SmtpUrl(account.host, account.port, account.implicitTls) + EhloPath(account);
  const std::string from = "<" + mail.senderAddress + ">";
  char detail[CURL_ERROR_SIZE] = {};
  const long timeout = static_cast<long>(account.timeoutSeconds);

  // A login needs TLS (the server's STARTTLS, or smtps:// from the first byte), and so does every
  // mail when a certificate file is set. Otherwise TLS is used when offered; a server that offers
  // STARTTLS and then refuses it is caught by WatchExchange, and the message is not sent in clear.
  const bool tlsRequired = (account.login && !account.allowPlainLogin) || !account.caFile.empty();
  library->easySetopt(curl, CURLOPT_URL, url.c_str());
  library->easySetopt(curl, CURLOPT_USE_SSL, static_cast<long>(tlsRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  library->easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  library->easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // Schannel fails a certificate whose revocation cannot be checked, as with a company's own CA
  // that publishes no list; the certificate itself is still verified. Other TLS layers ignore this.
  library->easySetopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  if (!account.caFile.empty()) library->easySetopt(curl, CURLOPT_CAINFO, account.caFile.c_str());
  library->easySetopt(curl, CURLOPT_MAIL_FROM, from.c_str());
  library->easySetopt(curl, CURLOPT_MAIL_RCPT, recipients);
  library->easySetopt(curl, kOptionRecipientsMayFail, 1L);
  if (account.login) {
    library->easySetopt(curl, CURLOPT_USERNAME, account.account.c_str());
    library->easySetopt(curl, CURLOPT_PASSWORD, account.password.c_str());
    // The mechanisms the server offers, PLAIN before LOGIN: both carry the whole password.
    library->easySetopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
  }
  library->easySetopt(curl, CURLOPT_UPLOAD, 1L);
  library->easySetopt(curl, CURLOPT_READFUNCTION, ReadMessage);
  library->easySetopt(curl, CURLOPT_READDATA, &exchange);
  library->easySetopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(exchange.message.size()));
  // The whole exchange, from the connection to QUIT, ends within the time-out.
  library->easySetopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
  library->easySetopt(curl, CURLOPT_TIMEOUT, timeout);
  library->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
  library->easySetopt(curl, CURLOPT_FORBID_REUSE, 1L);
  library->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
  library->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, WatchAbort);
  library->easySetopt(curl, CURLOPT_XFERINFODATA, &exchange);
  library->easySetopt(curl, CURLOPT_VERBOSE, 1L);  // feeds WatchExchange; nothing is printed
  library->easySetopt(curl, CURLOPT_DEBUGFUNCTION, WatchExchange);
  library->easySetopt(curl, CURLOPT_DEBUGDATA, &exchange);
  library->easySetopt(curl, CURLOPT_ERRORBUFFER, detail);

  const CURLcode code = library->easyPerform(curl);
  if (code == CURLE_OK) {
    result.delivered = true;
    result.rejected = exchange.rejected;
    if (events.workEnd) events.workEnd();
  } else {
    DescribeFailure(*library, code, detail, exchange, account, mail, abort(), result);
  }
  library->slistFreeAll(recipients);
  library->easyCleanup(curl);
  return result;
}

}  // namespace rur
