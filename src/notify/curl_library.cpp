// SPDX-License-Identifier: GPL-3.0-or-later
// The mail library is loaded with the first mail rather than with the program: it brings a TLS
// stack of some thirty libraries whose start-up code runs as they load (about 6 MB resident), and
// a program that watches for days may never send a mail.
#include "notify/curl_library.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>

namespace rur {

namespace {
constexpr const char* kCurlLibraryName = "libcurl.so.4";
}

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

}  // namespace rur
