// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/authorization.h"

#include <map>
#include <tuple>

#include "service/service_errors.h"

namespace rur::service {
namespace {

constexpr const char* kPolkitName = "org.freedesktop.PolicyKit1";
constexpr const char* kPolkitPath = "/org/freedesktop/PolicyKit1/Authority";
constexpr const char* kPolkitInterface = "org.freedesktop.PolicyKit1.Authority";
// The caller may be asked for a password by its authentication agent.
constexpr std::uint32_t kAllowUserInteraction = 1;
// Below the callers' own time-out of 25 s, so they hear the refusal rather than a time-out.
constexpr std::chrono::seconds kPolkitTimeout{20};

}  // namespace

void RequireAuthorization(const sdbus::IObject& object, const char* action, const std::string& what) {
  const sdbus::Message* message = object.getCurrentlyProcessedMessage();
  const std::string sender = message ? message->getSender() : std::string();
  const std::string refusal = "not authorized: " + what;
  if (sender.empty()) throw sdbus::Error(kErrorNotAuthorized, refusal);
  using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
  const Subject subject{std::string("system-bus-name"),
                        std::map<std::string, sdbus::Variant>{{"name", sdbus::Variant(sender)}}};
  sdbus::Struct<bool, bool, std::map<std::string, std::string>> result;
  try {
    // A connection of its own: the answer may take as long as the user's password does, and the
    // service's own connection is busy with this very call meanwhile.
    auto connection = sdbus::createSystemBusConnection();
    auto authority = sdbus::createProxy(*connection, kPolkitName, kPolkitPath);
    authority->callMethod("CheckAuthorization")
        .onInterface(kPolkitInterface)
        .withTimeout(kPolkitTimeout)
        .withArguments(subject, std::string(action), std::map<std::string, std::string>{}, kAllowUserInteraction,
                       std::string())
        .storeResultsTo(result);
  } catch (const sdbus::Error& failure) {
    throw sdbus::Error(kErrorNotAuthorized, refusal + " (polkit could not be asked: " + failure.getMessage() + ")");
  }
  if (!std::get<0>(result)) throw sdbus::Error(kErrorNotAuthorized, refusal);
}

}  // namespace rur::service
