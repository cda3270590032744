// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The monitor's state as Prometheus metrics: what the status page and the SMART page know of
// every enclosure, the alarms raised and the mails waiting, gathered from the engine's views and
// written in the text exposition format, for node_exporter's textfile collector to serve.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "smart/evaluate_smart.h"
#include "smart/smart_page.h"

namespace rur {

class Engine;
class MailCenter;

constexpr std::array<const char*, 4> kArrayStateNames = {"normal", "degraded", "rebuilding", "failed"};
constexpr std::array<const char*, 5> kMemberStateNames = {"present", "rebuilding", "inserted", "failed", "absent"};

struct MemberMetrics {
  std::string state;  // one of kMemberStateNames, or "none" when the bay's state is not known
  std::uint64_t capacityBytes = 0;
  // The graded SMART attributes and the verdict, once a data pass read the bay's pages.
  std::vector<SmartAttribute> attributes;
  std::optional<SmartVerdict> verdict;
};

struct EnclosureMetrics {
  unsigned device = 1;  // numbered from 1, as the window names them
  unsigned drive = 0;
  std::string path;  // the device node ("/dev/sdb"), as status --json gives it; empty when unknown
  std::string byId;  // its stable /dev/disk/by-id name, on the info series only; empty when none
  std::string product;
  std::string firmware;
  std::string mode;        // "striping", "mirroring", "nraid", "jbod", "bypass" or "undefined"
  bool up = false;         // the last query was answered
  bool known = false;      // the members were read at least once, so the values below are real
  std::string arrayState;  // one of kArrayStateNames
  double rebuildRatio = 0;
  std::array<MemberMetrics, 2> members;
  std::optional<unsigned> fanRpm;  // while the controller reports its sensors
  std::optional<unsigned> temperatureCelsius;
};

struct MetricsSnapshot {
  std::vector<EnclosureMetrics> enclosures;
  std::int64_t refreshSeconds = 0;  // wall time of the refresh, seconds since 1970 UTC
  std::array<std::uint64_t, 5> alarmsByKind{};
  std::optional<std::size_t> outboxMessages;  // when the program keeps mail
};

// What the engine and the mail centre know now.
MetricsSnapshot CollectMetrics(const Engine& engine, const MailCenter* mail, std::int64_t refreshSeconds);

// The text exposition format: every family with its HELP and TYPE lines, its series together.
std::string PrometheusText(const MetricsSnapshot& snapshot);

// "drive_failure", "enclosure_removed", "over_temperature", "fan_failure", "disk_health".
const char* AlarmKindLabel(int kind);

}  // namespace rur
