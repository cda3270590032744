// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/curl_mail_transport.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "notify/ehlo_name.h"
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
  bool sessionOpen = false;
  bool transferStarted = false;
  std::string pendingRecipient;  // the address of a RCPT TO waiting for its answer
  std::vector<std::string> rejected;
  std::string lastRefusal;  // the server's last refusal, which says more than the error code
  bool tlsOffered = false;  // the server's EHLO lists STARTTLS
  bool tlsAsked = false;    // STARTTLS sent, its answer awaited
  std::string tlsRefusal;   // the server offered STARTTLS and then refused it: nothing more may go in clear
  std::string malformed;    // a reply line that is no SMTP reply: waiting for a proper one is pointless
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
    exchange.tlsAsked = StartsWithNoCase(command, "STARTTLS");
    if (StartsWithNoCase(command, "RCPT TO:")) {
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
    if (exchange.messageSent) exchange.verdictCame = true;
    if (reply[0] == '4' || reply[0] == '5') exchange.lastRefusal = reply;
    if (reply.size() > 4 && reply.starts_with("250") && StartsWithNoCase(reply.substr(4), "STARTTLS"))
      exchange.tlsOffered = true;
    if (exchange.tlsAsked && exchange.tlsOffered && !reply.empty() && reply[0] != '2') {
      exchange.tlsRefusal = reply;
      exchange.tlsAsked = false;
    }
    if (exchange.pendingRecipient.empty()) return 0;
    // Only the last line of a reply ("550 ..." rather than "550-...") settles it.
    if (reply.size() >= 3 && (reply.size() == 3 || reply[3] == ' ')) {
      if (reply[0] == '4' || reply[0] == '5')
        exchange.rejected.push_back(exchange.pendingRecipient + " (" + reply + ")");
      exchange.pendingRecipient.clear();
    }
  }
  return 0;
}

// The mail library is loaded with the first mail rather than with the program: it brings a TLS
// stack of some thirty libraries whose start-up code runs as they load (about 6 MB resident), and
// a program that watches for days may never send a mail.
struct CurlLibrary {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;
};

constexpr const char* kCurlLibraryName = "libcurl.so.4";

// The library, started once; null when it cannot be loaded (the reason in `error`).
const CurlLibrary* MailLibrary(std::string& error) {
  static CurlLibrary library;
  static std::string failure;
  static std::once_flag once;
  std::call_once(once, [] {
    void* handle = ::dlopen(kCurlLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      failure = reason ? reason : kCurlLibraryName;
      return;
    }
    bool complete = true;
    const auto bind = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
      complete = complete && function != nullptr;
    };
    bind(library.globalInit, "curl_global_init");
    bind(library.easyInit, "curl_easy_init");
    bind(library.easySetopt, "curl_easy_setopt");
    bind(library.easyPerform, "curl_easy_perform");
    bind(library.easyCleanup, "curl_easy_cleanup");
    bind(library.easyStrerror, "curl_easy_strerror");
    bind(library.slistAppend, "curl_slist_append");
    bind(library.slistFreeAll, "curl_slist_free_all");
    if (!complete) {
      failure = std::string(kCurlLibraryName) + " lacks a function the program needs";
      return;
    }
    library.globalInit(CURL_GLOBAL_DEFAULT);
  });
  if (!failure.empty()) {
    error = failure;
    return nullptr;
  }
  return &library;
}

std::string FailureText(const CurlLibrary& library, CURLcode code, const char* detail, const std::string& lastRefusal,
                        const SmtpAccount& account, bool aborted) {
  const std::string server = account.host + " port " + std::to_string(account.port);
  switch (code) {
    case CURLE_WEIRD_SERVER_REPLY:
      return "The mail server " + server + " sent a malformed reply" +
             (lastRefusal.empty() ? std::string(detail && *detail ? std::string(" (") + detail + ")" : "")
                                  : " after \"" + lastRefusal + "\"") +
             "; the mail stays in the outbox.";
    case CURLE_OPERATION_TIMEDOUT:
      return "The mail server " + server + " did not answer within " + std::to_string(account.timeoutSeconds) + " s.";
    case CURLE_USE_SSL_FAILED:
      if (!lastRefusal.empty())
        return "The mail server " + server + " refused STARTTLS: \"" + lastRefusal +
               "\"; the mail is not sent in clear and stays in the outbox.";
      if (account.login && !account.allowPlainLogin) return std::string(kNoEncryptionText);
      if (!account.caFile.empty())
        return "The mail server " + server + " offers no encryption, and with a certificate file set the mail " +
               "goes only over TLS; it stays in the outbox.";
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
      return "The certificate of the mail server " + server + " could not be verified" +
             (account.caFile.empty() ? std::string(" against the system's certificates")
                                     : " against " + account.caFile) +
             (detail && *detail ? std::string(" (") + detail + ")." : std::string("."));
    case CURLE_SSL_CACERT_BADFILE: return "The certificate file " + account.caFile + " cannot be used.";
    case CURLE_LOGIN_DENIED:
      return "The mail server " + server + " refused the login of account \"" + account.account + "\"" +
             (lastRefusal.empty() ? std::string(".") : ": \"" + lastRefusal + "\".");
    case CURLE_ABORTED_BY_CALLBACK:
      if (aborted) return "Sending mail to " + server + " was given up.";
      break;
    default: break;
  }
  std::string text = "Sending mail to " + server + " failed: " + library.easyStrerror(code);
  if (detail && *detail) text += std::string(" (") + detail + ")";
  if (!lastRefusal.empty()) text += "; the server said \"" + lastRefusal + "\"";
  return text + ".";
}

// The address literal of this end of a connection to the server: a datagram socket "connected"
// there sends nothing, yet the system picks the address it would leave from.
std::string LocalAddressLiteral(const std::string& host, std::uint16_t port) {
  constexpr const char* kLoopbackLiteral = "[127.0.0.1]";
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
    return kLoopbackLiteral;
  std::string literal = kLoopbackLiteral;
  const int probe = ::socket(found->ai_family, SOCK_DGRAM, 0);
  sockaddr_storage local{};
  socklen_t length = sizeof(local);
  if (probe >= 0 && ::connect(probe, found->ai_addr, found->ai_addrlen) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* address = local.ss_family == AF_INET6
                              ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&local)->sin6_addr)
                              : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&local)->sin_addr);
    if (::inet_ntop(local.ss_family, address, text, sizeof(text)) != nullptr) literal = AddressLiteral(text);
  }
  if (probe >= 0) ::close(probe);
  ::freeaddrinfo(found);
  return literal;
}

// The greeting's name as the URL's path, which the mail library sends in EHLO.
std::string EhloPath(const SmtpAccount& account) {
  constexpr std::size_t kHostNameRoom = 256;
  char hostName[kHostNameRoom] = {};
  const bool named = ::gethostname(hostName, sizeof(hostName) - 1) == 0;
  std::string name = named ? EhloName(hostName, "") : std::string();
  if (name.empty()) name = LocalAddressLiteral(account.host, account.port);
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
  result.rejected = exchange.rejected;
  if (code == CURLE_OK) {
    result.delivered = true;
    if (events.workEnd) events.workEnd();
  } else if (!exchange.rejected.empty() && exchange.rejected.size() == mail.recipients.size()) {
    result.error = "The mail server refused every recipient.";
  } else if (!exchange.malformed.empty()) {
    result.error = "The mail server " + account.host + " port " + std::to_string(account.port) +
                   " sent a malformed reply: \"" + Printable(exchange.malformed) + "\".";
  } else if (!exchange.tlsRefusal.empty()) {
    result.error = "The mail server " + account.host + " port " + std::to_string(account.port) +
                   " offered STARTTLS and then refused it: \"" + exchange.tlsRefusal +
                   "\"; the mail is not sent in clear and stays in the outbox.";
  } else {
    result.error = FailureText(*library, code, detail, exchange.lastRefusal, account, abort());
    result.serverUnreachable = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_COULDNT_CONNECT ||
                               code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_ABORTED_BY_CALLBACK;
    // Lost after the end of data: the server may have taken the mail without saying so.
    result.outcomeUnknown = exchange.messageSent && !exchange.verdictCame;
  }
  library->slistFreeAll(recipients);
  library->easyCleanup(curl);
  return result;
}

}  // namespace rur
