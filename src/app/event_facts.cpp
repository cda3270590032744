// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/event_facts.h"

#include "app/program.h"
#include "platform/date_time_text.h"

namespace rur {

EventFacts DescribeEvent(const LogEvent& event, const Program& program) {
  EventFacts facts;
  facts.event = std::string(LogEventName(event.tag.kind));
  facts.device = event.tag.device >= 0 ? event.tag.device + 1 : 0;
  facts.drive = event.tag.drive;
  if (event.tag.drive >= 0) facts.path = program.DrivePath(static_cast<unsigned>(event.tag.drive));
  facts.bay = event.tag.bay;
  facts.text = event.text;
  facts.time = IsoDateTimeText(event.time, program.clockUtcOffset(event.time));
  facts.alarmKind = event.alarmKind;
  if (const RecipientRefusal* refusal = program.mailRefusal(event.tag.refusal)) {
    facts.recipient = refusal->address;
    facts.code = refusal->code;
    facts.text = refusal->text;
  }
  return facts;
}

HookRunner::Environment EventEnvironment(const EventFacts& facts) {
  auto number = [](int value, int none) { return value == none ? std::string() : std::to_string(value); };
  HookRunner::Environment environment{
      {"RUR_EVENT", facts.event},
      {"RUR_DEVICE", number(facts.device, 0)},
      {"RUR_DRIVE", number(facts.drive, -1)},
      {"RUR_PATH", facts.path},
      {"RUR_BAY", number(static_cast<int>(facts.bay), 0)},
      {"RUR_TEXT", facts.text},
      {"RUR_TIME", facts.time},
  };
  if (facts.alarmKind != 0) environment.emplace_back("RUR_ALARM_KIND", std::to_string(facts.alarmKind));
  if (!facts.recipient.empty()) {
    environment.emplace_back("RUR_RECIPIENT", facts.recipient);
    environment.emplace_back("RUR_CODE", number(facts.code, 0));
  }
  return environment;
}

bool EventRunsPrograms(const LogEvent& event) {
  const LogEventKind kind = event.tag.kind;
  return kind != LogEventKind::RebuildProgress && kind != LogEventKind::Banner && kind != LogEventKind::Info;
}

}  // namespace rur
