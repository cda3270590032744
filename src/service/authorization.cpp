// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/authorization.h"

#include <map>
#include <tuple>
#include <utility>

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

using Verdict = sdbus::Struct<bool, bool, std::map<std::string, std::string>>;

}  // namespace

Authority::Authority(sdbus::IConnection& connection)
    : polkit_(sdbus::createProxy(connection, kPolkitName, kPolkitPath)) {}

std::string Authority::SenderOf(const sdbus::IObject& object) {
  const sdbus::Message* message = object.getCurrentlyProcessedMessage();
  return message ? message->getSender() : std::string();
}

void Authority::Check(const std::string& sender, const char* action, const std::string& what, Answer answer) {
  const std::string refusal = "not authorized: " + what;
  if (sender.empty()) {
    answer(sdbus::Error(kErrorNotAuthorized, refusal));
    return;
  }
  using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
  const Subject subject{std::string("system-bus-name"),
                        std::map<std::string, sdbus::Variant>{{"name", sdbus::Variant(sender)}}};
  try {
    polkit_->callMethodAsync("CheckAuthorization")
        .onInterface(kPolkitInterface)
        .withTimeout(kPolkitTimeout)
        .withArguments(subject, std::string(action), std::map<std::string, std::string>{}, kAllowUserInteraction,
                       std::string())
        .uponReplyInvoke([answer, refusal](const sdbus::Error* failure, const Verdict& verdict) {
          if (failure != nullptr)
            answer(sdbus::Error(kErrorNotAuthorized,
                                refusal + " (polkit could not be asked: " + failure->getMessage() + ")"));
          else if (!std::get<0>(verdict))
            answer(sdbus::Error(kErrorNotAuthorized, refusal));
          else
            answer(std::nullopt);
        });
  } catch (const sdbus::Error& failure) {
    answer(sdbus::Error(kErrorNotAuthorized, refusal + " (polkit could not be asked: " + failure.getMessage() + ")"));
  }
}

}  // namespace rur::service
