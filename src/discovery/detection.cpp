// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/detection.h"

#include <algorithm>

#include "monitor/array_capacity.h"
#include "monitor/query_answers.h"
#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

constexpr std::uint8_t kNotEnclosureCodes[] = {0x50, 0x05};
constexpr std::size_t kInquiryVendor = 8;
constexpr std::size_t kInquiryNameBytes = 16;

bool Accepted(const Sector& identityAnswer) {
  const std::uint8_t low = identityAnswer[identify_offset::kAnswerProductCode];
  const std::uint8_t high = identityAnswer[identify_offset::kAnswerProductCode + 1];
  return high != 0 ||
         std::find(std::begin(kNotEnclosureCodes), std::end(kNotEnclosureCodes), low) == std::end(kNotEnclosureCodes);
}

}  // namespace

Detection::Detection(Services services) : services_(std::move(services)) {}

Detection::~Detection() { Stop(); }

void Detection::Wake() {
  // Taking the lock orders the flag change before the thread's next look at it.
  { std::lock_guard lock(mutex_); }
  wake_.notify_one();
}

void Detection::Start(bool ownThread) {
  Count(logicalDrives_, drives_);
  probing_ = true;
  countdown_ = 0;
  if (!ownThread) return;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (requested_.exchange(false)) {
        lock.unlock();
        Job();
        lock.lock();
        continue;
      }
      // No polling while idle: a watching program should not wake for nothing.
      wake_.wait(lock, [this] { return stop_ || requested_; });
    }
  });
}

void Detection::Stop() {
  stop_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
}

void Detection::Request(DetectionStart start) {
  start_ = std::move(start);
  detecting_ = true;
  done_ = false;
  requested_ = true;  // last: the job may start as soon as it sees this
  Wake();
}

void Detection::RunRequested() {
  if (requested_.exchange(false)) Job();
}

DetectionResult Detection::TakeResult() {
  done_ = false;
  return staged_;
}

bool Detection::CountDown() {
  if (countdown_ == 0 || countdown_ >= kDeviceChangeDue) return false;
  ++countdown_;
  return true;
}

bool Detection::RecountDrives() {
  probing_ = true;
  countdown_ = 0;
  std::vector<std::string> logical;
  DriveCount drives;
  Count(logical, drives);
  const auto numbers = [](const DriveCount& count) {
    std::vector<unsigned> list;
    for (const DriveFacts& facts : count.openable) list.push_back(facts.number);
    return list;
  };
  const bool removal = removalSeen_.exchange(false);
  const bool retry = std::exchange(retry_, false) || removal;
  if (!retry && logical.size() == logicalDrives_.size() && numbers(drives) == numbers(drives_) &&
      drives.accessProblems == drives_.accessProblems) {
    probing_ = false;
    return false;
  }
  logicalDrives_ = std::move(logical);
  drives_ = std::move(drives);
  return true;
}

bool Detection::Wanted(const DriveFacts& drive) const {
  return drive.usb() || scope_.allDisks ||
         std::find(scope_.alsoDrives.begin(), scope_.alsoDrives.end(), drive.number) != scope_.alsoDrives.end();
}

void Detection::Count(std::vector<std::string>& logical, DriveCount& drives) {
  logical = LogicalDriveList(services_.volumes ? services_.volumes() : std::vector<MountedVolume>{});
  drives = DriveCount{};
  for (const DriveFacts& facts : services_.drives.ListDrives()) {
    if (facts.number >= kMaxPhysicalDrives || !Wanted(facts)) continue;
    const OpenCheck check = services_.drives.CheckOpen(facts.number);
    if (check.outcome == OpenCheck::Outcome::Opens) {
      drives.openable.push_back(facts);
    } else if (check.outcome == OpenCheck::Outcome::NoAccess) {
      drives.accessProblems.push_back("cannot read " + facts.path + ": " + check.reason);
    }
    services_.ui.pump();
  }
}

void Detection::Job() {
  staged_.records = start_.records;
  staged_.accessProblems = drives_.accessProblems;
  staged_.probed = drives_.openable;
  staged_.busy.clear();
  staged_.volumes = BuildVolumeTable(services_.volumes ? services_.volumes() : std::vector<MountedVolume>{});
  if (!ProbePass() && !stop_) ProbePass();
  detecting_ = false;
  done_ = true;
}

bool Detection::ProbePass() {
  for (auto& slot : staged_.identity) slot.fill(0);
  staged_.count = 0;
  for (const DriveFacts& facts : drives_.openable) {
    const unsigned drive = facts.number;
    if (stop_) break;
    // Held through the first pass: a second wait would not end differently.
    if (std::any_of(staged_.busy.begin(), staged_.busy.end(),
                    [&](const BusyDrive& busy) { return busy.drive == drive; }))
      continue;
    if (staged_.count >= kMaxDevices) break;
    services_.ui.pump();
    if (!start_.programStarted && start_.upgradeDrive == static_cast<int>(drive)) {
      // The controller is busy with the upgrade: keep what we knew of it.
      staged_.entries[staged_.count] = start_.upgradeEntry;
      staged_.info[staged_.count++] = start_.upgradeInfo;
      continue;
    }
    if (!OpenDrive(services_.drives, drive)) continue;
    ProbeDrive(drive, staged_.count);
    if (services_.channel.record().lastResult == kResultControllerBusy && !CarryOverKnown(drive))
      staged_.busy.push_back(BusyDrive{drive, facts.path, services_.channel.record().busyHolder});
  }
  return staged_.count > 0;
}

bool Detection::CarryOverKnown(unsigned drive) {
  for (unsigned i = 0; i < start_.knownCount; ++i) {
    if (DriveOf(start_.knownEntries[i]) != drive) continue;
    // Another process holds the controller (an upgrade, most likely): it is still there.
    staged_.identity[drive] = start_.knownIdentity[drive];
    staged_.entries[staged_.count] = start_.knownEntries[i];
    staged_.info[staged_.count++] = start_.knownInfo[i];
    return true;
  }
  return false;
}

void Detection::ProbeDrive(unsigned drive, unsigned position) {
  ControllerChannel& channel = services_.channel;
  Clock& clock = services_.clock;
  IdentifyBlock& slot = staged_.identity[drive];
  Sector answer{};
  const ResultCode probe = channel.Query(drive, QUERY_PROBE, answer);
  std::copy(answer.begin(), answer.end(), slot.begin());
  if (probe != kResultOk) return;
  clock.sleepMs(kQueryGapMs);
  const ResultCode identified = channel.Query(drive, QUERY_IDENTITY, answer);
  std::copy(answer.begin(), answer.end(), slot.begin());
  if (identified != kResultOk) return;
  std::copy_n(answer.begin() + identify_offset::kRevisionSource, identify_offset::kRevisionLength,
              slot.begin() + identify_offset::kFirmwareRevision);
  if (!Accepted(answer)) return;

  DevicePosition info;
  info.controllerKind = channel.controllerKind();

  if (services_.readFlashHead) {
    if (const auto head = services_.readFlashHead(drive)) {
      info.productType = head->productType;
      info.firmwareValid = head->validImage;
    }
  }

  if (slot[identify_offset::kControllerName] != 0) {
    info.hasName = true;
    std::copy_n(slot.begin() + identify_offset::kControllerName, kProductNameLength,
                slot.begin() + identify_offset::kProductName);
  } else if (DeviceHandle device = OpenDrive(services_.drives, drive)) {
    std::array<std::uint8_t, 36> inquiry{};
    if (InquiryDevice(*device, inquiry.data())) {
      // Stored as an ATA string like the controller's own name, so readers swap it back.
      for (std::size_t k = 0; k < kInquiryNameBytes; ++k)
        slot[identify_offset::kProductName + k] = inquiry[kInquiryVendor + (k ^ 1u)];
      std::fill(slot.begin() + identify_offset::kProductName + kInquiryNameBytes,
                slot.begin() + identify_offset::kProductName + kProductNameLength, ' ');
    }
  }

  const bool blockAIsHdd1 = AnswerBlockAIsHdd1(slot);
  info.memberOrder = !blockAIsHdd1;
  info.hasSensor = slot[identify_offset::kSensorAbsent] == 0 && slot[identify_offset::kSensorAbsent + 1] == 0;

  clock.sleepMs(kQueryGapMs);
  StatusRecord& record = staged_.records[drive];
  const bool membersOk = channel.Query(drive, QUERY_MEMBERS, answer) == kResultOk;
  if (membersOk) {
    const bool knownDrive =
        record[status_offset::kOwnerDrive] == drive && record[status_offset::kFilledMark] == kRecordFilled;
    record[status_offset::kOwnerDrive] = static_cast<std::uint8_t>(drive);
    record[status_offset::kFilledMark] = kRecordFilled;
    DecodeMembersAnswer(answer, blockAIsHdd1, RecordFill::Detection, knownDrive, record);
    if (record[status_offset::kActivityFlags] != 0) info.rebuildRunning = true;
    info.membersKnown = true;
    FillCapacityAndSensors(drive, info, true);
  } else {
    // What an earlier detection read of this drive stays, and is still worth showing.
    info.membersKnown =
        record[status_offset::kOwnerDrive] == drive && record[status_offset::kFilledMark] == kRecordFilled;
    FillCapacityAndSensors(drive, info, false);
  }

  staged_.entries[position] = static_cast<DeviceEntry>(drive | kEntryAccepted);
  staged_.info[position] = info;
  staged_.count = position + 1;
}

void Detection::FillCapacityAndSensors(unsigned drive, DevicePosition& info, bool membersOk) {
  StatusRecord& record = staged_.records[drive];
  const IdentifyBlock& slot = staged_.identity[drive];
  // When the capacity cannot be read now, the refresh reads it with its next good answer.
  info.capacityKnown =
      membersOk && FillArrayCapacity(services_.channel, services_.clock, drive, slot, info.hasName, record);
  if (info.hasSensor) {
    record[status_offset::kEnvironmentFlags] = kSensorsValid;
    CopySensorReadings(slot.data(), record);
  } else {
    record[status_offset::kEnvironmentFlags] = kNoSensors;
  }
}

}  // namespace rur
