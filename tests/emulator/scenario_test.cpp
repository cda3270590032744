// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario files: the bundled ones load and say what the demo promises; malformed ones give one
// error that names the place.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "emulator/scenario.h"

namespace rur {
namespace {

TEST(Scenario, BundledScenariosLoad) {
  for (const char* name : {"demo", "striping", "jbod", "bypass", "port-multiplier", "two-enclosures", "faults"}) {
    sim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(sim::LoadScenarioFile(sim::BundledScenarioPath(name), scenario, error)) << error;
    EXPECT_EQ(scenario.name, name);
  }
  sim::Scenario demo;
  std::string error;
  ASSERT_TRUE(sim::LoadScenarioFile(sim::BundledScenarioPath("demo"), demo, error));
  ASSERT_EQ(demo.drives.size(), 2u);
  EXPECT_EQ(demo.drives[0].type, sim::DriveType::PlainDisk);
  EXPECT_EQ(demo.drives[1].type, sim::DriveType::Enclosure);
  EXPECT_EQ(demo.drives[1].enclosure.mode, sim::kArrayMirroring);
  ASSERT_EQ(demo.timeline.size(), 3u);
  EXPECT_EQ(demo.timeline[0].kind, sim::EventKind::MemberRemoved);
  EXPECT_EQ(demo.timeline[0].atMs, 30000u);
  EXPECT_EQ(demo.timeline[0].hdd, 2u);
  EXPECT_EQ(demo.timeline[1].kind, sim::EventKind::MemberInserted);
  EXPECT_EQ(demo.timeline[2].kind, sim::EventKind::RebuildStarted);
  // The rebuild ends within about five minutes of program time.
  const double end =
      demo.timeline[2].atMs / 1000.0 + static_cast<double>(demo.drives[1].enclosure.members[1].disk.capacity) /
                                           static_cast<double>(demo.drives[1].enclosure.rebuildSpeed);
  EXPECT_LT(end, 300.0);
}

TEST(Scenario, ValuesByNameNumberAndDefault) {
  sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(sim::ParseScenario(R"({
      // comments are allowed
      "start": "2026-02-28T23:59:30",
      "drives": [{"number": 3, "type": "enclosure", "mode": 7, "productCode": "0x0550",
                  "inquiry": {"product": {"hex": "1B5B 33 316D FF00"}},
                  "members": [{"state": "failed", "serial": {"hex": ""}}, {"state": 6, "capacity": "0x1000"}]}],
      "timeline": [{"at": 2.5, "drive": 3, "event": "environment", "fan": 0},
                   {"at": 1, "drive": 3, "event": "unplugged"},
                   {"at": 3, "drive": 3, "event": "smart", "member": "HDD2",
                    "attribute": {"id": 5, "value": 90, "worst": 90, "threshold": 36, "raw": 24}}]})",
                                 scenario, error))
      << error;
  ASSERT_TRUE(scenario.start.has_value());
  EXPECT_EQ(*scenario.start, (LocalDateTime{2026, 2, 28, 23, 59, 30}));
  const sim::DriveSpec& drive = scenario.drives[0];
  EXPECT_EQ(drive.volumes, std::vector<std::string>{"sdd1"});
  EXPECT_EQ(drive.enclosure.mode, 7);
  EXPECT_EQ(drive.enclosure.productCode, (std::array<std::uint8_t, 2>{0x05, 0x50}));
  EXPECT_EQ(drive.enclosure.members[0].state, sim::kMemberFailed);
  EXPECT_EQ(drive.enclosure.members[1].state, sim::kMemberInserted);
  EXPECT_EQ(drive.enclosure.members[1].disk.capacity, 0x1000u);
  EXPECT_EQ(drive.inquiry.product, std::string("\x1B[31m\xFF", 6) + '\0');  // raw bytes, blanks between them ignored
  EXPECT_EQ(drive.enclosure.members[0].disk.serial, "");
  EXPECT_FALSE(drive.enclosure.members[0].disk.smart.empty());
  EXPECT_EQ(scenario.timeline[0].kind, sim::EventKind::Unplugged);  // in time order
  EXPECT_EQ(scenario.timeline[1].atMs, 2500u);
  const sim::TimelineEvent& smart = scenario.timeline[2];
  EXPECT_EQ(smart.kind, sim::EventKind::SmartChanged);
  EXPECT_EQ(smart.hdd, 2u);
  ASSERT_TRUE(smart.attribute.has_value());
  EXPECT_EQ(smart.attribute->id, 5);
  EXPECT_EQ(smart.attribute->worst, 90);
  EXPECT_EQ(smart.attribute->threshold, 36);
  EXPECT_EQ(smart.attribute->raw, 24u);
}

TEST(Scenario, MalformedScenariosNameThePlace) {
  const std::string enclosure = R"({"number": 1, "type": "enclosure"})";
  struct Case {
    std::string json;
    std::string error;
  } cases[] = {
      {"{\"drives\": [", "line 1, column 13: not valid JSON"},
      {"{\n  \"drives\": []\n  \"x\": 1}", "line 3, column 5: not valid JSON"},
      {"{}", "drives: missing"},
      {R"({"drives": [], "extra": 1})", "extra: unknown field"},
      {R"({"drives": [{"number": 0, "type": "disk"},
                      {"number": 1, "type": "enclosure", "members": [{"state": true}, {}]}]})",
       "drives[1].members[0].state: expected a number or one of present, rebuilding, inserted, failed, absent"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "members": [{}]}]})",
       "drives[0].members: expected two members, HDD1 and HDD2"},
      {R"({"drives": [{"number": 64, "type": "disk"}]})", "drives[0].number: must be at most 63"},
      {R"({"drives": [{"number": 1, "type": "disk", "bus": "ide"}]})",
       "drives[0].bus: expected usb, sata, sas or nvme"},
      {R"({"drives": [{"number": 1, "type": "disk"}, {"number": 1, "type": "disk"}]})",
       "drives[1].number: drive 1 is listed twice"},
      {R"({"drives": [{"number": 1, "type": "disk", "mode": "jbod"}]})", "drives[0].mode: unknown field"},
      {R"({"drives": [{"number": 1, "type": "tape"}]})", "drives[0].type: expected disk or enclosure"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "fan": -1}]})", "drives[0].fan: must not be negative"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "temperature": 300}]})",
       "drives[0].temperature: must be at most 255"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "productName": "a name that is rather longer than forty characters"}]})",
       "drives[0].productName: longer than 40 characters"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "productName": {"hex": "4G"}}]})",
       "drives[0].productName.hex: expected hex digits, two a byte"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "productName": {"text": "41"}}]})",
       "drives[0].productName.text: unknown field"},
      {R"({"drives": [{"number": 1, "type": "enclosure", "members": [{"serial": {"hex": ")" + std::string(42, 'F') +
           R"("}}, {}]}]})",
       "drives[0].members[0].serial.hex: longer than 20 bytes"},
      {R"({"start": "2026-02-30 10:00:00", "drives": [{"number": 1, "type": "disk"}]})", "start: no such date-time"},
      {R"({"drives": [{"number": 0, "type": "disk"}],
           "timeline": [{"at": 5, "drive": 0, "event": "member-removed", "member": "HDD1"}]})",
       "timeline[0].drive: drive 0 is a plain disk, not an enclosure"},
      {R"({"drives": [)" + enclosure + R"(], "timeline": [{"at": 5, "drive": 2, "event": "plugged"}]})",
       "timeline[0].drive: no drive 2 in drives"},
      {R"({"drives": [)" + enclosure + R"(], "timeline": [{"at": -1, "drive": 1, "event": "plugged"}]})",
       "timeline[0].at: expected seconds between 0 and 1e9"},
      {R"({"drives": [)" + enclosure +
           R"(], "timeline": [{"at": 1, "drive": 1, "event": "member-failed", "member": "HDD3"}]})",
       "timeline[0].member: expected HDD1 or HDD2"},
      {R"({"drives": [)" + enclosure + R"(], "timeline": [{"at": 1, "drive": 1, "event": "smart", "member": "HDD1"}]})",
       "timeline[0].attribute: missing"},
      {R"({"drives": [)" + enclosure + R"(], "timeline": [{"at": 1, "drive": 1, "event": "smart", "member": "HDD1",
                                                              "attribute": {"id": 0}}]})",
       "timeline[0].attribute.id: must name an attribute (1..255)"},
      {R"({"drives": [)" + enclosure + R"(], "timeline": [{"at": 1, "drive": 1, "event": "plugged",
                                                              "attribute": {"id": 5}}]})",
       "timeline[0].attribute: only for smart"},
      {R"({"drives": [)" + enclosure + R"(], "faults": [{"drive": 1, "kind": "late"}]})",
       "faults[0].polls: missing: after how many polls the answer shows"},
      {R"({"drives": [)" + enclosure + R"(], "faults": [{"drive": 1, "kind": "fail", "from": 9, "until": 3}]})",
       "faults[0].until: must come after from"},
  };
  for (const Case& c : cases) {
    sim::Scenario scenario;
    std::string error;
    EXPECT_FALSE(sim::ParseScenario(c.json, scenario, error)) << c.json;
    EXPECT_EQ(error, c.error) << c.json;
  }
}

TEST(Scenario, FileErrorsNameTheFile) {
  const auto path = std::filesystem::temp_directory_path() / ("rur-bad-" + std::to_string(::getpid()) + ".json");
  std::ofstream(path) << R"({"drives": [{"number": "one", "type": "disk"}]})";
  sim::Scenario scenario;
  std::string error;
  EXPECT_FALSE(sim::LoadScenarioFile(path.string(), scenario, error));
  EXPECT_EQ(error, "scenario " + path.filename().string() + ": drives[0].number: expected a number");
  std::filesystem::remove(path);
  EXPECT_FALSE(sim::LoadScenarioFile(path.string(), scenario, error));
  EXPECT_EQ(error, "scenario " + path.string() + ": cannot be read");
}

}  // namespace
}  // namespace rur
