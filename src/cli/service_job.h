// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The end of one of the service's jobs (a firmware upgrade or backup), as its Completed signal
// tells it. Made before the call that starts the job, so the end of a quick job is not missed;
// `job` takes the path the call answers with. Only where rurctl speaks D-Bus.

#if RUR_SERVICE_CLIENT
#include <optional>
#include <string>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

namespace rur::cli {

struct JobCompletion {
  explicit JobCompletion(sdbus::IConnection& connection)
      : match(connection.addMatch("type='signal',sender='org.roderur.RodeRur1',interface='org.roderur.RodeRur1.Job',"
                                  "member='Completed'",
                                  [this](sdbus::Message& message) {
                                    if (job.empty() || message.getPath() != job) return;
                                    bool ok = false;
                                    std::string text;
                                    message >> ok >> text;
                                    completed = std::pair<bool, std::string>(ok, text);
                                  })) {}
  JobCompletion(const JobCompletion&) = delete;
  JobCompletion& operator=(const JobCompletion&) = delete;

  sdbus::ObjectPath job;
  // Whether the job succeeded and the service's message, once it has ended.
  std::optional<std::pair<bool, std::string>> completed;
  sdbus::Slot match;
};

}  // namespace rur::cli
#endif
