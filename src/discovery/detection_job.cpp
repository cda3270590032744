// Finding the enclosures: the probe passes of a detection job, and the 500 ms timer that schedules
// detection after device changes and publishes its result on the main context.

#include <algorithm>

#include "app/engine.h"
#include "monitor/blocks_differ.h"
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
  return high != 0 || std::find(std::begin(kNotEnclosureCodes), std::end(kNotEnclosureCodes), low) ==
                          std::end(kNotEnclosureCodes);
}

}  // namespace

void Engine::RequestDetection() {
  snapshot_ = DetectionSnapshot{};
  snapshot_.programStarted = programStarted;
  snapshot_.physicalDriveCount = physicalDriveCount;
  if (UpgradeRunning() && upgrade.UpgradeTarget.load() < devices.currentCount) {
    snapshot_.upgradeEntry = devices.current[upgrade.UpgradeTarget.load()];
    snapshot_.upgradeInfo = devices.currentInfo[upgrade.UpgradeTarget.load()];
    snapshot_.upgradeDrive = static_cast<int>(DriveOf(snapshot_.upgradeEntry));
  }
  stagedRecords_ = records;
  detecting = true;
  detectionDone = false;
  detectionRequest = true;  // last: the job may start as soon as it sees this
  WakeDetectionThread();
}

void Engine::DetectionJob() {
  stagedVolumes_ = BuildVolumeTable(volumes_ ? volumes_() : std::vector<MountedVolume>{});
  if (!ProbePass() && !closing) ProbePass();
}

bool Engine::ProbePass() {
  for (auto& slot : identity) slot.fill(0);
  devices.freshCount = 0;
  unsigned visited = 0;
  for (unsigned drive = 0; drive < kMaxPhysicalDrives && visited < snapshot_.physicalDriveCount; ++drive) {
    if (closing) break;
    ui.pump();
    if (!snapshot_.programStarted && snapshot_.upgradeDrive == static_cast<int>(drive)) {
      // The controller is busy with the upgrade: keep what we knew of it.
      devices.fresh[devices.freshCount] = snapshot_.upgradeEntry;
      devices.freshInfo[devices.freshCount++] = snapshot_.upgradeInfo;
      ++visited;
      continue;
    }
    if (!OpenDrive(drives, drive)) continue;
    devices.probed = static_cast<DeviceEntry>(drive);
    ProbeDrive(drive, devices.freshCount);
    ++visited;
  }
  return devices.freshCount > 0;
}

void Engine::ProbeDrive(unsigned drive, unsigned position) {
  IdentifyBlock& slot = identity[drive];
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

  if (const auto type = spiFlash.ReadFirmwareType()) info.productType = *type;

  if (slot[identify_offset::kControllerName] != 0) {
    info.hasName = true;
    std::copy_n(slot.begin() + identify_offset::kControllerName, kProductNameLength,
                slot.begin() + identify_offset::kProductName);
  } else if (DeviceHandle device = OpenDrive(drives, drive)) {
    std::array<std::uint8_t, 36> inquiry{};
    if (InquiryDevice(*device, inquiry.data())) {
      // Stored as an ATA string like the controller's own name, so readers swap it back.
      for (std::size_t k = 0; k < kInquiryNameBytes; ++k)
        slot[identify_offset::kProductName + k] = inquiry[kInquiryVendor + (k ^ 1u)];
      std::fill(slot.begin() + identify_offset::kProductName + kInquiryNameBytes,
                slot.begin() + identify_offset::kProductName + kProductNameLength, ' ');
    }
  }

  const bool blockAIsHdd1 = (slot[identify_offset::kMemberOrder] & kMemberOrderBit) != 0;
  info.memberOrder = !blockAIsHdd1;
  info.hasSensor = slot[identify_offset::kSensorAbsent] == 0 && slot[identify_offset::kSensorAbsent + 1] == 0;

  clock.sleepMs(kQueryGapMs);
  StatusRecord& record = stagedRecords_[drive];
  const bool membersOk = channel.Query(drive, QUERY_MEMBERS, answer) == kResultOk;
  if (membersOk) {
    const bool knownDrive = record[status_offset::kOwnerDrive] == drive &&
                            record[status_offset::kFilledMark] == kRecordFilled;
    record[status_offset::kOwnerDrive] = static_cast<std::uint8_t>(drive);
    record[status_offset::kFilledMark] = kRecordFilled;
    DecodeMembersAnswer(answer, blockAIsHdd1, RecordFill::Detection, knownDrive, record);
    if (record[status_offset::kActivityFlags] != 0) info.rebuildRunning = true;
    FillCapacityAndSensors(drive, info, true);
  } else {
    FillCapacityAndSensors(drive, info, false);
  }

  devices.fresh[position] = static_cast<DeviceEntry>(drive | kEntryAccepted);
  devices.freshInfo[position] = info;
  devices.freshCount = position + 1;
}

void Engine::FillCapacityAndSensors(unsigned drive, DevicePosition& info, bool membersOk) {
  StatusRecord& record = stagedRecords_[drive];
  const IdentifyBlock& slot = identity[drive];
  if (membersOk) {
    if (record[status_offset::kArrayMode] == kModeMirroring) {
      clock.sleepMs(kQueryGapMs);
      Sector answer{};
      if (channel.Query(drive, QUERY_REBUILD, answer) == kResultOk) {
        WriteLe(record.data() + status_offset::kArrayCapacity, 6, ReadBe(answer.data() + rebuild_answer::kSize, 6));
        record[status_offset::kActivityProgress] =
            record[status_offset::kActivityFlags] != 0
                ? ProgressPercent(ReadBe(answer.data() + rebuild_answer::kPosition, 5),
                                  ReadBe(answer.data() + rebuild_answer::kSize, 6))
                : 0;
      }
    } else {
      std::uint64_t capacity;
      if (info.hasName) {
        capacity = ReadLe(slot.data() + identify_offset::kCapacity, 6);
      } else {
        capacity = 2 * std::min(ReadLe(record.data() + status_offset::kHdd1Capacity, 6),
                                ReadLe(record.data() + status_offset::kHdd2Capacity, 6));
      }
      WriteLe(record.data() + status_offset::kArrayCapacity, 6, capacity);
    }
  }
  if (info.hasSensor) {
    record[status_offset::kEnvironmentFlags] = kSensorsValid;
    CopySensorReadings(slot.data(), record);
  } else {
    record[status_offset::kEnvironmentFlags] = kNoSensors;
  }
}

void Engine::Timer4Timer() {
  if (deviceChangeCounter != 0 && deviceChangeCounter < kDeviceChangeDue) {
    ++deviceChangeCounter;
    return;
  }
  // A finished job is published before another one starts, so the two never mix.
  if (deviceChangeCounter >= kDeviceChangeDue && !refreshInProgress && !detecting && !detectionDone) {
    upgradeButtonEnabled = false;
    ui.update(UiUpdate::UpgradeButton);
    if (UpgradeRunning()) {
      upgradeButtonEnabled = true;
      ui.update(UiUpdate::UpgradeButton);
      return;
    }
    probeMark = true;
    deviceChangeCounter = 0;
    std::vector<std::string> logical;
    unsigned physical = 0;
    CountDrives(logical, physical);
    if (logical.size() == logicalDrives.size() && physical == physicalDriveCount) {
      upgradeButtonEnabled = true;
      ui.update(UiUpdate::UpgradeButton);
      probeMark = false;
      return;
    }
    logicalDrives = std::move(logical);
    physicalDriveCount = physical;
    RequestDetection();
    if (devices.currentCount == 0) {
      detectionText = "Drive detecting";
      ui.update(UiUpdate::DetectionText);
    }
  }
  if (detectionDone) {
    PublishDetection();
  } else if (detecting && detectionText == "Drive detecting") {
    detectionTextVisible = !detectionTextVisible;
    ui.update(UiUpdate::DetectionText);
  }
}

void Engine::PublishDetection() {
  detectionDone = false;
  ui.panel(1, "Detected OK");
  ui.panel(2, " ");
  for (unsigned position = 0; position < 2; ++position) {
    deviceShown[position] = position < devices.freshCount;
    deviceChecked[position] = position < devices.freshCount;
  }
  ui.update(UiUpdate::DeviceControls);

  for (unsigned i = 0; i < devices.freshCount; ++i) {
    const unsigned drive = DriveOf(devices.fresh[i]);
    if (BlocksDiffer(identity[drive].data(), previousIdentity[drive].data(), identity[drive].size()) != 0)
      arrivalStamps[drive] = clock.localTime();
  }
  records = stagedRecords_;
  volumeTable = stagedVolumes_;
  if (!programStarted) ReportDeviceChanges();
  devices.current = devices.fresh;
  devices.currentInfo = devices.freshInfo;
  devices.currentCount = devices.freshCount;
  previousIdentity = identity;
  everDetected = true;
  if (volumeTable.truncated) ui.messageBox("Drive Count Must less than 20.", "", MessageKind::Plain);

  if (devices.currentCount == 0) {
    pageButtonsEnabled = false;
    ui.update(UiUpdate::PageButtons);
    scheduler.setEnabled(timer3, false);
    probeMark = false;
    detectionText = "No Drive found! ";
    detectionTextVisible = true;
    ui.update(UiUpdate::DetectionText);
    return;
  }
  devices.selected = std::min(devices.selected, devices.currentCount - 1);
  pageButtonsEnabled = true;
  logButtonShown = true;
  upgradeButtonEnabled = true;
  ui.update(UiUpdate::PageButtons);
  ui.update(UiUpdate::UpgradeButton);
  RefreshDeviceNames();
  probeMark = false;
  requestFlags |= kRequestsAfterDetection;
  scheduler.setEnabled(timer2, true);
  scheduler.setEnabled(timer3, true);
  detectionTextVisible = false;
  detectionText = " ";
  ui.update(UiUpdate::DetectionText);
}

}  // namespace rur
