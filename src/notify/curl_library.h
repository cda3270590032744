// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The functions of the mail library (libcurl) the transport calls, reached through one table: on
// Linux the library is loaded with the first mail, on Windows it is linked into the program.

#include <curl/curl.h>

#include <string>

namespace rur {

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

// The library, started once; null when it cannot be had (the reason in `error`).
const CurlLibrary* MailLibrary(std::string& error);

}  // namespace rur
