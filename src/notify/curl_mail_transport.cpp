#include "notify/curl_mail_transport.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

#include "notify/mail_message.h"

namespace rur {

namespace {

// Let the server refuse single recipients without dropping the mail for all the others. The
// option's name changed spelling between libcurl releases; its number did not.
constexpr auto kOptionRecipientsMayFail = static_cast<CURLoption>(290);

struct Exchange {
  std::string message;
  std::size_t sent = 0;
  bool sessionOpen = false;
  bool transferStarted = false;
  std::string pendingRecipient;  // the address of a RCPT TO waiting for its answer
  std::vector<std::string> rejected;
  std::string lastRefusal;  // the server's last refusal, which says more than the error code
  DeliveryEvents* events = nullptr;
  const std::function<bool()>* abort = nullptr;
};

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (!exchange.transferStarted) {
    exchange.transferStarted = true;
    if (exchange.events->workBegin) exchange.events->workBegin();
  }
  const std::size_t room = size * count;
  const std::size_t n = std::min(room, exchange.message.size() - exchange.sent);
  std::memcpy(buffer, exchange.message.data() + exchange.sent, n);
  exchange.sent += n;
  return n;
}

int WatchAbort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& exchange = *static_cast<Exchange*>(user);
  return (*exchange.abort)() ? 1 : 0;
}

std::string StripLineEnd(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// Follows the protocol exchange: the first MAIL FROM means the session is open, and the answer
// to each RCPT TO says whether the server takes that recipient.
int WatchExchange(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    const std::string command = StripLineEnd(data, size);
    if (StartsWithNoCase(command, "MAIL FROM:") && !exchange.sessionOpen) {
      exchange.sessionOpen = true;
      if (exchange.events->connected) exchange.events->connected();
    }
    exchange.pendingRecipient.clear();
    if (StartsWithNoCase(command, "RCPT TO:")) {
      std::string address = command.substr(8);
      if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = address.substr(1, address.size() - 2);
      exchange.pendingRecipient = address;
    }
  } else if (type == CURLINFO_HEADER_IN) {
    const std::string reply = StripLineEnd(data, size);
    if (!reply.empty() && (reply[0] == '4' || reply[0] == '5')) exchange.lastRefusal = reply;
    if (exchange.pendingRecipient.empty()) return 0;
    // Only the last line of a reply ("550 ..." rather than "550-...") settles it.
    if (reply.size() >= 3 && (reply.size() == 3 || reply[3] == ' ')) {
      if (reply[0] == '4' || reply[0] == '5') exchange.rejected.push_back(exchange.pendingRecipient + " (" + reply + ")");
      exchange.pendingRecipient.clear();
    }
  }
  return 0;
}

std::string FailureText(CURLcode code, const char* detail, const std::string& lastRefusal, const SmtpAccount& account,
                        bool aborted) {
  const std::string server = account.host + " port " + std::to_string(account.port);
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return "The mail server " + server + " did not answer within " + std::to_string(account.timeoutSeconds) +
             " s.";
    case CURLE_LOGIN_DENIED:
      return "The mail server " + server + " refused the login of account \"" + account.account + "\".";
    case CURLE_ABORTED_BY_CALLBACK:
      if (aborted) return "Sending mail to " + server + " was given up.";
      break;
    default:
      break;
  }
  std::string text = "Sending mail to " + server + " failed: " + curl_easy_strerror(code);
  if (detail && *detail) text += std::string(" (") + detail + ")";
  if (!lastRefusal.empty()) text += "; the server said \"" + lastRefusal + "\"";
  return text + ".";
}

}  // namespace

// The mail library starts its TLS stack when it is initialised, which costs a few megabytes of
// memory; a program that watches for days and never mails should not carry them.
CurlMailTransport::CurlMailTransport() = default;

namespace {
void StartMailLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
}  // namespace

std::string SmtpUrl(const std::string& host, std::uint16_t port) {
  const bool literalV6 = host.find(':') != std::string::npos && host.front() != '[';
  return std::string(port == 465 ? "smtps://" : "smtp://") + (literalV6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

DeliveryResult CurlMailTransport::Send(const SmtpAccount& account, const OutgoingMail& mail, DeliveryEvents& events,
                                       const std::function<bool()>& abort) {
  DeliveryResult result;
  StartMailLibrary();
  CURL* curl = curl_easy_init();
  if (!curl) {
    result.error = "The mail library could not start.";
    return result;
  }
  Exchange exchange;
  exchange.message = ComposeMessage(mail, StampForNow(mail.senderAddress));
  exchange.events = &events;
  exchange.abort = &abort;

  curl_slist* recipients = nullptr;
  for (const auto& recipient : mail.recipients) recipients = curl_slist_append(recipients, ("<" + recipient + ">").c_str());
  const std::string url = SmtpUrl(account.host, account.port);
  const std::string from = "<" + mail.senderAddress + ">";
  char detail[CURL_ERROR_SIZE] = {};
  const long timeout = static_cast<long>(account.timeoutSeconds);

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
  curl_easy_setopt(curl, kOptionRecipientsMayFail, 1L);
  if (account.login) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, account.account.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, account.password.c_str());
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  }
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(curl, CURLOPT_READDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(exchange.message.size()));
  // The connection (up to the server's greeting and login) and the transfer are each bounded;
  // a server that falls silent mid-way counts as too slow once it has sent nothing for that long.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 2 * timeout);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WatchAbort);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);  // feeds WatchExchange; nothing is printed
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, WatchExchange);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);

  const CURLcode code = curl_easy_perform(curl);
  result.rejected = exchange.rejected;
  if (code == CURLE_OK) {
    result.delivered = true;
    if (events.workEnd) events.workEnd();
  } else if (!exchange.rejected.empty() && exchange.rejected.size() == mail.recipients.size()) {
    result.error = "The mail server refused every recipient.";
  } else {
    result.error = FailureText(code, detail, exchange.lastRefusal, account, abort());
  }
  curl_slist_free_all(recipients);
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace rur
