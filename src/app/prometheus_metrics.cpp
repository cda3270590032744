// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/prometheus_metrics.h"

#include <algorithm>
#include <charconv>

#include "app/engine.h"
#include "monitor/array_health.h"
#include "notify/mail_center.h"
#include "notify/mail_settings.h"
#include "platform/safe_text.h"
#include "smart/attribute_names.h"

namespace rur {
namespace {

std::string ModeLabel(std::uint8_t mode) {
  switch (mode) {
    case kModeStriping: return "striping";
    case kModeMirroring: return "mirroring";
    case kModeNraid: return "nraid";
    case kModeJbod: return "jbod";
    case kModeBypass: return "bypass";
    default: return "undefined";
  }
}

MemberMetrics MemberOf(const rur::MemberStatus& read, unsigned bay, const SmartBayPages* pages) {
  MemberMetrics member;
  member.state = std::string(MemberStateWord(read.state));
  member.capacityBytes = read.capacitySectors * 512;
  // Only pages a pass read whole belong for certain to the disk the status names.
  if (pages != nullptr && pages->dataRead && read.holdsDisk()) {
    const SmartPageModel graded =
        EvaluateSmart(SmartEvaluationInput{pages->data, pages->thresholds, bay, {}, {}, true});
    if (!graded.rows.empty()) {
      for (const SmartRow& row : graded.rows) member.attributes.push_back(row.attribute);
      member.verdict = VerdictOfGrade(graded.driveGrade);
    }
  }
  return member;
}

// Machine formats never follow the user's locale: to_chars writes a point whatever it is.
std::string Number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// Writes one family: its HELP and TYPE lines before its first series, then every series added
// to it. A family without series is left out whole.
class Family {
 public:
  Family(std::string& out, const char* name, const char* type, const char* help)
      : out_(out), name_(name), type_(type), help_(help) {}
  void Add(const std::string& labels, const std::string& value) {
    if (!started_) out_ += "# HELP rode_rur_" + name_ + ' ' + help_ + "\n# TYPE rode_rur_" + name_ + ' ' + type_ + '\n';
    started_ = true;
    out_ += "rode_rur_" + name_;
    if (!labels.empty()) out_ += '{' + labels + '}';
    out_ += ' ' + value + '\n';
  }

 private:
  std::string& out_;
  std::string name_;
  const char* type_;
  const char* help_;
  bool started_ = false;
};

std::string Label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + LabelValueText(value) + '"';
}

std::string EnclosureLabels(const EnclosureMetrics& e) {
  return Label("device", std::to_string(e.device)) + ',' + Label("drive", std::to_string(e.drive)) + ',' +
         Label("path", e.path);
}

std::string BayLabels(const EnclosureMetrics& e, unsigned bay) {
  return EnclosureLabels(e) + ',' + Label("bay", std::to_string(bay + 1));
}

std::string AttributeLabels(const EnclosureMetrics& e, unsigned bay, const SmartAttribute& attribute) {
  const auto name = FindSmartAttributeName(attribute.id);
  return BayLabels(e, bay) + ',' + Label("id", std::to_string(attribute.id)) + ',' +
         Label("name", name ? std::string(*name) : "UnKnown");
}

std::uint64_t RawValue(const SmartAttribute& attribute) {
  std::uint64_t raw = 0;
  for (std::size_t i = kSmartRawSize; i-- > 0;) raw = (raw << 8) | attribute.raw[i];
  return raw;
}

// One family per SMART column, each over every attribute of every bay that has pages.
void SmartFamily(std::string& out, const MetricsSnapshot& snapshot, const char* name, const char* help,
                 const std::function<std::string(const SmartAttribute&)>& value) {
  Family family(out, name, "gauge", help);
  for (const EnclosureMetrics& e : snapshot.enclosures) {
    if (!e.known) continue;
    for (unsigned bay = 0; bay < e.members.size(); ++bay)
      for (const SmartAttribute& attribute : e.members[bay].attributes)
        family.Add(AttributeLabels(e, bay, attribute), value(attribute));
  }
}

}  // namespace

const char* AlarmKindLabel(int kind) {
  switch (kind) {
    case kAlarmDriveFailure: return "drive_failure";
    case kAlarmSystemFailure: return "enclosure_removed";
    case kAlarmOverHeat: return "over_temperature";
    case kAlarmFanFailure: return "fan_failure";
    case kAlarmDiskHealth: return "disk_health";
    default: return "other";
  }
}

MetricsSnapshot CollectMetrics(const Engine& engine, const MailCenter* mail, std::int64_t refreshSeconds) {
  MetricsSnapshot snapshot;
  snapshot.refreshSeconds = refreshSeconds;
  const SmartState& smart = engine.smart().state();
  for (const Enclosure& enclosure : engine.enclosures()) {
    const EnclosureStatus& status = enclosure.status;
    const unsigned position = enclosure.position;
    EnclosureMetrics e;
    e.device = position + 1;
    e.drive = enclosure.identity.drive;
    e.path = enclosure.identity.path;
    e.byId = enclosure.identity.byId;
    e.product = status.product;
    e.firmware = status.firmware;
    e.mode = ModeLabel(status.array ? status.array->mode : kModeBypass + 1);
    e.up = enclosure.current;
    e.known = status.membersKnown();
    e.arrayState = std::string(ArrayStateName(enclosure.health.array));
    if (status.rebuildingBay) e.rebuildRatio = std::min(100, static_cast<int>(status.rebuildPercent)) / 100.0;
    for (unsigned bay = 0; bay < 2; ++bay) {
      if (const rur::MemberStatus* member = status.member(bay))
        e.members[bay] = MemberOf(*member, bay, position < kSmartSlots ? &smart.store[position][bay] : nullptr);
      else
        e.members[bay].state = "none";
    }
    if (status.sensors) {
      e.fanRpm = status.sensors->fanRpm;
      e.temperatureCelsius = status.sensors->temperatureC;
    }
    snapshot.enclosures.push_back(std::move(e));
  }
  for (unsigned kind = 1; kind <= kAlarmKinds && kind <= snapshot.alarmsByKind.size(); ++kind)
    snapshot.alarmsByKind[kind - 1] = engine.alarms().RaisedOfKind(kind);
  if (mail != nullptr) snapshot.outboxMessages = mail->Outbox().size();
  return snapshot;
}

std::string PrometheusText(const MetricsSnapshot& snapshot) {
  std::string out;
  const auto& enclosures = snapshot.enclosures;
  {
    Family family(out, "enclosure_info", "gauge", "The enclosure's product, controller firmware and array mode.");
    for (const EnclosureMetrics& e : enclosures)
      family.Add(EnclosureLabels(e) + ',' + Label("by_id", e.byId) + ',' + Label("product", e.product) + ',' +
                     Label("firmware", e.firmware) + ',' + Label("mode", e.mode),
                 "1");
  }
  {
    Family family(out, "up", "gauge", "1 when the enclosure answered its last query, 0 when not.");
    for (const EnclosureMetrics& e : enclosures) family.Add(EnclosureLabels(e), e.up ? "1" : "0");
  }
  {
    Family family(out, "array_state", "gauge", "1 for the array's current state, 0 for the others.");
    for (const EnclosureMetrics& e : enclosures) {
      if (!e.known) continue;
      for (const char* state : kArrayStateNames)
        family.Add(EnclosureLabels(e) + ',' + Label("state", state), e.arrayState == state ? "1" : "0");
    }
  }
  {
    Family family(out, "member_state", "gauge", "1 for the member disk's current state, 0 for the others.");
    for (const EnclosureMetrics& e : enclosures) {
      if (!e.known) continue;
      for (unsigned bay = 0; bay < e.members.size(); ++bay)
        for (const char* state : kMemberStateNames)
          family.Add(BayLabels(e, bay) + ',' + Label("state", state), e.members[bay].state == state ? "1" : "0");
    }
  }
  {
    Family family(out, "member_capacity_bytes", "gauge", "The member disk's capacity in bytes.");
    for (const EnclosureMetrics& e : enclosures) {
      if (!e.known) continue;
      for (unsigned bay = 0; bay < e.members.size(); ++bay)
        if (e.members[bay].state != "absent" && e.members[bay].state != "none")
          family.Add(BayLabels(e, bay), std::to_string(e.members[bay].capacityBytes));
    }
  }
  {
    Family family(out, "rebuild_progress_ratio", "gauge", "How far the running rebuild is, 0 to 1; 0 without one.");
    for (const EnclosureMetrics& e : enclosures)
      if (e.known) family.Add(EnclosureLabels(e), Number(e.rebuildRatio));
  }
  {
    Family family(out, "fan_rpm", "gauge", "The enclosure's fan speed in revolutions per minute.");
    for (const EnclosureMetrics& e : enclosures)
      if (e.known && e.fanRpm) family.Add(EnclosureLabels(e), std::to_string(*e.fanRpm));
  }
  {
    Family family(out, "temperature_celsius", "gauge", "The enclosure's temperature in degrees Celsius.");
    for (const EnclosureMetrics& e : enclosures)
      if (e.known && e.temperatureCelsius) family.Add(EnclosureLabels(e), std::to_string(*e.temperatureCelsius));
  }
  SmartFamily(out, snapshot, "smart_attribute_value", "The SMART attribute's current normalized value.",
              [](const SmartAttribute& a) { return std::to_string(a.current); });
  SmartFamily(out, snapshot, "smart_attribute_worst", "The SMART attribute's worst normalized value.",
              [](const SmartAttribute& a) { return std::to_string(a.worst); });
  SmartFamily(out, snapshot, "smart_attribute_threshold", "The SMART attribute's threshold.",
              [](const SmartAttribute& a) { return std::to_string(a.threshold); });
  SmartFamily(out, snapshot, "smart_attribute_raw", "The SMART attribute's raw value.",
              [](const SmartAttribute& a) { return std::to_string(RawValue(a)); });
  {
    Family family(out, "smart_verdict", "gauge", "The member disk's SMART verdict: 0 good, 1 warning, 2 error.");
    for (const EnclosureMetrics& e : enclosures) {
      if (!e.known) continue;
      for (unsigned bay = 0; bay < e.members.size(); ++bay)
        if (const auto verdict = e.members[bay].verdict)
          family.Add(BayLabels(e, bay), std::to_string(static_cast<int>(*verdict)));
    }
  }
  {
    Family family(out, "last_refresh_timestamp_seconds", "gauge", "When the monitor last refreshed, in Unix time.");
    family.Add({}, std::to_string(snapshot.refreshSeconds));
  }
  {
    Family family(out, "alarms_total", "counter", "Alarms the monitor raised since it started, by kind.");
    for (std::size_t i = 0; i < snapshot.alarmsByKind.size(); ++i)
      family.Add(Label("kind", AlarmKindLabel(static_cast<int>(i + 1))), std::to_string(snapshot.alarmsByKind[i]));
  }
  if (snapshot.outboxMessages) {
    Family family(out, "mail_outbox_messages", "gauge", "Alarm mails waiting in the outbox to be delivered.");
    family.Add({}, std::to_string(*snapshot.outboxMessages));
  }
  return out;
}

}  // namespace rur
