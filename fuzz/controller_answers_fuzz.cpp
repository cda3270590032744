// SPDX-License-Identifier: GPL-3.0-or-later
// Controller answers are bytes from outside: whatever the enclosure leaves at LBA 17, the program
// must decode it without a crash and every text built from it must stay printable and valid JSON.
// The input is a series of 512-byte answers that a stand-in enclosure hands out in turn (and
// again from the first when they run out); the real engine detects it, refreshes it, reads its
// flash head and SMART pages and draws every page and report from what it got. Each answer gets
// the controller's signature pair unless it begins with '_', in which case it is taken as it is
// (so answers without, with mixed or with the other kind's signatures are reached too).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/engine.h"
#include "cli/smart_report.h"
#include "cli/status_report.h"
#include "monitor/event_log.h"
#include "monitor/query_answers.h"
#include "transport/command_frame.h"
#include "transport/pass_through.h"

namespace {

using namespace rur;

constexpr std::uint64_t kDetectionWaitMs = 30000;
// Long enough for the arming tick, several refreshes and one SMART data pass.
constexpr std::uint64_t kWatchMs = 70000;
constexpr std::uint8_t kFailedReadMark = 0xEE;  // answer byte 17: this read of LBA 17 fails
constexpr std::size_t kFailedReadOffset = 17;

class FuzzedEnclosure final : public ScsiDevice {
 public:
  explicit FuzzedEnclosure(const std::vector<Sector>& answers, std::size_t& next) : answers_(answers), next_(next) {}

  bool Execute(const ScsiRequest& request) override {
    if (request.buffer == nullptr) return false;
    if (request.cdb[0] == kOpInquiry) {
      std::fill_n(request.buffer, request.transferLength, std::uint8_t{0});
      // The name of a controller that supplies none comes from INQUIRY: give it odd bytes too.
      const Sector& answer = answers_[next_ % answers_.size()];
      std::copy_n(answer.begin() + 400, std::min<std::uint32_t>(request.transferLength, 36), request.buffer);
      return true;
    }
    const std::uint32_t lba = (std::uint32_t{request.cdb[2]} << 24) | (std::uint32_t{request.cdb[3]} << 16) |
                              (std::uint32_t{request.cdb[4]} << 8) | request.cdb[5];
    if (lba != kResponseLba) {
      std::fill_n(request.buffer, request.transferLength, std::uint8_t{0});
      return true;
    }
    const Sector& answer = answers_[next_++ % answers_.size()];
    if (answer[kFailedReadOffset] == kFailedReadMark && answer[0] != '_') return false;
    std::copy(answer.begin(), answer.end(), request.buffer);
    return true;
  }

 private:
  const std::vector<Sector>& answers_;
  std::size_t& next_;
};

class FuzzedDrives final : public DriveSource {
 public:
  explicit FuzzedDrives(std::vector<Sector> answers) : answers_(std::move(answers)) {}
  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    if (number != 0) return nullptr;
    return std::make_unique<FuzzedEnclosure>(answers_, next_);
  }

 private:
  std::vector<Sector> answers_;
  std::size_t next_ = 0;
};

std::vector<Sector> SplitAnswers(const std::uint8_t* data, std::size_t size) {
  std::vector<Sector> answers;
  for (std::size_t offset = 0; offset < size; offset += kSectorSize) {
    Sector answer{};
    std::copy_n(data + offset, std::min(kSectorSize, size - offset), answer.begin());
    if (answer[0] != '_') WriteSignatures(answer, ControllerKind::Raid);
    answers.push_back(answer);
  }
  return answers;
}

// Texts the program shows, logs or prints must not carry control characters that would break a
// log line or a terminal.
void CheckPrintable(const std::string& text) {
  for (const char c : text)
    if (c == '\r' || c == '\n' || c == '\x1b') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * kSectorSize) return 0;
  const std::vector<Sector> answers = SplitAnswers(data, size);

  // Each answer straight through the decoders, as either kind of status answer.
  for (const Sector& answer : answers) {
    StatusRecord record{};
    DecodeMembersAnswer(answer, (answer[49] & 0x10) != 0, RecordFill::Detection, false, record);
    DecodeMembersAnswer(answer, false, RecordFill::Refresh, true, record);
    if (const auto progress = RebuildProgress(answer); progress && *progress > 100) std::abort();
    CopySensorReadings(answer.data(), record);
  }

  // The same answers through the whole program.
  VirtualClock clock(LocalDateTime{2026, 3, 14, 9, 0, 0});
  FuzzedDrives drives(answers);
  Ui ui;
  Engine engine(
      drives,
      [] {
        return std::vector<MountedVolume>{{"sda1", 0, 0, 0}};
      },
      clock, ui);
  EventLogWriter log("/nonexistent");
  std::vector<std::string> saved;
  log.setFileFunctions(
      [&saved](const std::string&, const std::string& contents, std::string&) {
        saved = SplitLogLines(contents);
        return true;
      },
      [&saved](const std::string&, std::string& contents) {
        contents = JoinLogLines(saved);
        return saved.empty() ? FileReadStatus::Missing : FileReadStatus::Ok;
      });
  engine.AttachEventLog(&log);
  engine.Start();
  if (!engine.RunUntilDetected(kDetectionWaitMs)) return 0;
  engine.RunFor(kWatchMs);
  engine.OpenPage(kPageSmart);
  for (unsigned bay = 0; bay < 2; ++bay) {
    engine.SelectSmartBay(bay);
    const SmartPageModel& page = engine.smart().page();
    CheckPrintable(page.heading);
    SmartText(page);
    SmartJson(page, 1, bay + 1).dump();
  }
  engine.OpenPage(kPageStatus);
  const std::vector<DeviceStatus> status = CollectStatus(engine);
  for (const DeviceStatus& device : status) {
    CheckPrintable(device.product);
    CheckPrintable(device.firmware);
    for (const MemberReport& member : device.members) {
      CheckPrintable(member.model);
      CheckPrintable(member.serial);
    }
  }
  StatusText(status);
  StatusJson(status).dump();
  for (const std::string& line : log.lines()) CheckPrintable(line);
  engine.Close();
  return 0;
}
