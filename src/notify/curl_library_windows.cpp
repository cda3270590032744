// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows programs carry the mail library linked in (built with Schannel, Windows' own TLS):
// the table points at its functions, and the library is started with the first mail.
#include <mutex>

#include "notify/curl_library.h"

namespace rur {

const CurlLibrary* MailLibrary(std::string& error) {
  static const CurlLibrary library{curl_global_init,  curl_easy_init,     curl_easy_setopt,  curl_easy_perform,
                                   curl_easy_cleanup, curl_easy_strerror, curl_slist_append, curl_slist_free_all};
  static bool started = false;
  static std::once_flag once;
  std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  if (!started) {
    error = "the mail library could not start its network and TLS layers";
    return nullptr;
  }
  return &library;
}

}  // namespace rur
