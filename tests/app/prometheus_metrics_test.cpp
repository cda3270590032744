// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics text: label values from the controller cannot break a line, every state is one
// series with exactly the current one at 1, and what the monitor does not know is left out
// rather than shown as 0.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/prometheus_metrics.h"

namespace rur {
namespace {

std::size_t CountLines(const std::string& text, const std::string& start) {
  std::istringstream lines(text);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(start, 0) == 0) ++count;
  return count;
}

// A locale that writes 0,37 for the whole scope, built from the system's locale sources when it is
// not installed (the window runs under the user's locale; a scraper reads only points).
class CommaLocale {
 public:
  CommaLocale() {
#ifndef _WIN32
    const std::string folder = (std::filesystem::temp_directory_path() / "rur-locales").string();
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
      std::filesystem::create_directories(folder);
      const std::string build = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
      if (std::system(build.c_str()) == 0) setenv("LOCPATH", folder.c_str(), 1);
      std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
#endif
  }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
};

TEST(PrometheusMetricsTest, LabelsAreEscapedAndStatesAreOneHot) {
  const CommaLocale comma;
  MetricsSnapshot snapshot;
  EnclosureMetrics e;
  e.path = "/dev/sdb";
  e.product = "Dual \"Bay\"\\RAID\nX";
  e.up = true;
  e.known = true;
  e.arrayState = "rebuilding";
  e.rebuildRatio = 0.37;
  e.members[0].state = "present";
  e.members[1].state = "rebuilding";
  e.members[0].verdict = SmartVerdict::Warning;
  snapshot.enclosures.push_back(e);
  EnclosureMetrics silent;  // found, but its members were never read
  silent.device = 2;
  silent.drive = 2;
  silent.path = "/dev/sdc";
  snapshot.enclosures.push_back(silent);
  snapshot.alarmsByKind[0] = 3;

  const std::string text = PrometheusText(snapshot);
  EXPECT_NE(text.find("product=\"Dual \\\"Bay\\\"\\\\RAID\\nX\""), std::string::npos) << text;
  EXPECT_EQ(CountLines(text, "rode_rur_array_state{device=\"1\""), kArrayStateNames.size());
  EXPECT_NE(text.find("rode_rur_array_state{device=\"1\",drive=\"0\",path=\"/dev/sdb\",state=\"rebuilding\"} 1\n"),
            std::string::npos);
  EXPECT_EQ(CountLines(text, "rode_rur_member_state{"), 2 * kMemberStateNames.size());
  EXPECT_NE(text.find("bay=\"2\",state=\"rebuilding\"} 1\n"), std::string::npos);
  EXPECT_NE(text.find("rode_rur_rebuild_progress_ratio{device=\"1\",drive=\"0\",path=\"/dev/sdb\"} 0.37\n"),
            std::string::npos);
  EXPECT_NE(text.find("rode_rur_smart_verdict{device=\"1\",drive=\"0\",path=\"/dev/sdb\",bay=\"1\"} 1\n"),
            std::string::npos);
  EXPECT_EQ(CountLines(text, "rode_rur_smart_verdict{"), 1u);
  // The silent enclosure: named and not up, nothing else; no family without series.
  EXPECT_NE(text.find("rode_rur_up{device=\"2\",drive=\"2\",path=\"/dev/sdc\"} 0\n"), std::string::npos);
  EXPECT_EQ(text.find("path=\"/dev/sdc\",state="), std::string::npos);
  EXPECT_EQ(text.find("rode_rur_fan_rpm"), std::string::npos);
  EXPECT_EQ(text.find("rode_rur_mail_outbox_messages"), std::string::npos);
  EXPECT_NE(text.find("rode_rur_alarms_total{kind=\"drive_failure\"} 3\n"), std::string::npos);
  EXPECT_EQ(CountLines(text, "# TYPE rode_rur_alarms_total counter"), 1u);
}

}  // namespace
}  // namespace rur
