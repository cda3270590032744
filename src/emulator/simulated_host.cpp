// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/simulated_host.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "emulator/disk_data.h"
#include "platform/host_drives.h"
#include "transport/pass_through.h"

namespace rur::sim {
namespace {

constexpr std::size_t kRequestsKept = std::size_t{1} << 21;

// The handle a program holds on a simulated drive; every request goes back to the host.
class SimulatedDevice final : public ScsiDevice {
 public:
  SimulatedDevice(SimulatedHost& host, unsigned drive) : host_(host), drive_(drive) {}
  bool Execute(const ScsiRequest& request) override { return host_.Serve(drive_, request); }

 private:
  SimulatedHost& host_;
  unsigned drive_;
};

// The simulated bridge's USB identity: the pid.codes test vendor, the product code as product.
constexpr const char* kSimulatedUsbVendor = "1209";
constexpr const char* kSimulatedUsbProduct = "2760";

// "RUR DUAL BAY " -> "RUR_DUAL_BAY", as udev builds by-id names from INQUIRY fields.
std::string IdText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ') {
      if (!out.empty() && out.back() != '_') out += '_';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

std::string SimulatedSerial(unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, "SIM%04u", number);
  return text;
}

std::uint32_t CdbLba(const std::array<std::uint8_t, 10>& cdb) {
  return (std::uint32_t{cdb[2]} << 24) | (std::uint32_t{cdb[3]} << 16) | (std::uint32_t{cdb[4]} << 8) | cdb[5];
}

}  // namespace

SimulatedHost::SimulatedHost(Scenario scenario, Clock& clock)
    : scenario_(std::move(scenario)), clock_(clock), startMs_(clock.nowMs()) {
  for (const DriveSpec& spec : scenario_.drives) {
    Drive drive;
    drive.spec = spec;
    drive.plugged = spec.plugged;
    if (spec.type == DriveType::Enclosure)
      drive.controller = std::make_unique<SimulatedController>(spec, clock_, startMs_);
    drives_[spec.number] = std::move(drive);
  }
  for (const Fault& fault : scenario_.faults) {
    if (SimulatedController* target = controller(fault.drive)) target->addFault(fault);
  }
}

SimulatedHost::~SimulatedHost() = default;

std::uint64_t SimulatedHost::programTimeMs() const {
  const std::uint64_t now = clock_.nowMs();
  return now > startMs_ ? now - startMs_ : 0;
}

DeviceHandle SimulatedHost::OpenPhysicalDrive(unsigned number) {
  bool changed = false;
  bool open = false;
  {
    std::lock_guard lock(mutex_);
    changed = AdvanceLocked();
    const auto found = drives_.find(number);
    open = found != drives_.end() && found->second.plugged;
  }
  NotifyIfChanged(changed);
  if (!open) return nullptr;
  return std::make_unique<SimulatedDevice>(*this, number);
}

std::vector<DriveFacts> SimulatedHost::ListDrives() {
  Advance();
  std::lock_guard lock(mutex_);
  std::vector<DriveFacts> drives;
  for (const auto& [number, drive] : drives_) {
    if (!drive.plugged) continue;
    DriveFacts facts;
    facts.number = number;
    facts.bus = drive.spec.bus;
    facts.path = "/dev/" + KernelDiskName(number);
    const InquirySpec& inquiry = drive.spec.inquiry;
    const std::string serial = SimulatedSerial(number);
    if (facts.bus == "usb") {
      facts.byId = "usb-" + IdText(inquiry.vendor) + "_" + IdText(inquiry.product) + "_" + serial + "-0:0";
      facts.usbVendorId = kSimulatedUsbVendor;
      facts.usbProductId = kSimulatedUsbProduct;
      facts.usbSerial = serial;
    } else {
      const std::string prefix = facts.bus == "sata" ? "ata-" : facts.bus == "sas" ? "scsi-" : "nvme-";
      facts.byId = prefix + IdText(inquiry.product) + "_" + serial;
    }
    drives.push_back(std::move(facts));
  }
  return drives;
}

HoldAttempt SimulatedHost::HoldController(unsigned number, std::uint32_t waitMs) {
  std::string dir;
  {
    std::lock_guard lock(mutex_);
    dir = sharedDir_;
  }
  if (dir.empty()) return DriveSource::HoldController(number, waitMs);
  HoldOptions options;
  options.createFile = true;
  options.taken = [this, number] { ReloadFlashIfNewer(number); };
  options.releasing = [this, number] { SaveIfFlashChanged(number); };
  HoldAttempt attempt = holds_.Hold(LockFile(number), waitMs, std::move(options));
  if (attempt.outcome == HoldAttempt::Outcome::Failed)
    attempt.error = "simulated drive " + std::to_string(number) + ": " + attempt.error;
  return attempt;
}

void SimulatedHost::Advance() {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    changed = AdvanceLocked();
  }
  NotifyIfChanged(changed);
}

void SimulatedHost::NotifyIfChanged(bool changed) {
  if (!changed) return;
  std::function<void(const DriveNotice&)> listener;
  std::vector<DriveNotice> notices;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
    notices.swap(untold_);
  }
  if (!listener) return;
  for (const DriveNotice& notice : notices) listener(notice);
}

void SimulatedHost::setDeviceChangeListener(std::function<void(const DriveNotice&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void SimulatedHost::SetPlugged(unsigned drive, bool plugged) {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    TimelineEvent event;
    event.drive = drive;
    event.kind = plugged ? EventKind::Plugged : EventKind::Unplugged;
    Apply(event, changed);
  }
  NotifyIfChanged(changed);
}

bool SimulatedHost::AdvanceLocked() {
  bool changed = false;
  const std::uint64_t now = programTimeMs();
  while (nextEvent_ < scenario_.timeline.size() && scenario_.timeline[nextEvent_].atMs <= now)
    Apply(scenario_.timeline[nextEvent_++], changed);
  return changed;
}

void SimulatedHost::Apply(const TimelineEvent& event, bool& deviceChanged) {
  const auto found = drives_.find(event.drive);
  if (found == drives_.end()) return;
  Drive& drive = found->second;
  SimulatedController* controller = drive.controller.get();
  switch (event.kind) {
    case EventKind::Unplugged:
      if (drive.plugged) {
        deviceChanged = true;
        untold_.push_back(
            {DriveNotice::Kind::Removed, static_cast<int>(event.drive), "/dev/" + KernelDiskName(event.drive)});
      }
      drive.plugged = false;
      if (controller) controller->PowerCycle();
      return;
    case EventKind::Plugged:
      if (!drive.plugged) {
        deviceChanged = true;
        untold_.push_back(
            {DriveNotice::Kind::Added, static_cast<int>(event.drive), "/dev/" + KernelDiskName(event.drive)});
      }
      drive.plugged = true;
      return;
    default: break;
  }
  if (controller == nullptr) return;
  switch (event.kind) {
    case EventKind::MemberRemoved: controller->removeMember(event.hdd); break;
    case EventKind::MemberInserted: controller->insertMember(event.hdd, event.disk); break;
    case EventKind::MemberFailed: controller->failMember(event.hdd); break;
    case EventKind::RebuildStarted:
      // An empty bay has nothing to rebuild onto.
      if (controller->hasDisk(controller->portOf(event.hdd)))
        controller->startRebuild(controller->portOf(event.hdd), event.speed.value_or(0));
      break;
    case EventKind::Environment:
      if (event.fan) controller->setFan(*event.fan);
      if (event.temperature) controller->setTemperature(*event.temperature);
      break;
    case EventKind::SmartChanged:
      if (event.attribute) controller->setMemberAttribute(event.hdd, *event.attribute);
      break;
    default: break;
  }
}

std::vector<MountedVolume> SimulatedHost::volumes() const {
  std::lock_guard lock(mutex_);
  std::vector<MountedVolume> result;
  for (const auto& [number, drive] : drives_) {
    if (!drive.plugged) continue;
    for (const std::string& name : drive.spec.volumes) result.push_back(MountedVolume{name, number, 0, 0});
  }
  return result;
}

void SimulatedHost::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  refused_ = 0;
}

bool SimulatedHost::setTraceFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (trace_.is_open()) trace_.close();
  trace_.open(path, std::ios::app);
  return trace_.is_open();
}

void SimulatedHost::Trace(const std::string& line) {
  if (!trace_.is_open()) return;
  trace_ << line << '\n';
  trace_.flush();  // a trace must survive a program that is killed
  if (!trace_) traceLost_ = true;
}

SimulatedController* SimulatedHost::controller(unsigned drive) {
  std::lock_guard lock(mutex_);
  const auto found = drives_.find(drive);
  return found == drives_.end() ? nullptr : found->second.controller.get();
}

bool SimulatedHost::plugged(unsigned drive) const {
  std::lock_guard lock(mutex_);
  const auto found = drives_.find(drive);
  return found != drives_.end() && found->second.plugged;
}

bool SimulatedHost::Serve(unsigned drive, const ScsiRequest& request) {
  bool changed = false;
  bool completed = false;
  {
    std::lock_guard lock(mutex_);
    changed = AdvanceLocked();
    const std::uint8_t operation = request.cdb[0];
    const bool inquiry = operation == kOpInquiry;
    if (requests_.size() >= kRequestsKept)  // a demo left running for days must not fill the memory
      requests_.erase(requests_.begin(), requests_.begin() + static_cast<std::ptrdiff_t>(kRequestsKept / 2));
    requests_.push_back(Request{drive, inquiry, inquiry ? 0u : CdbLba(request.cdb), request.cdb});

    const std::uint32_t count = (std::uint32_t{request.cdb[7]} << 8) | request.cdb[8];
    const bool validRead = operation == kOpRead10 && count > 0 && request.buffer != nullptr &&
                           request.transferLength == count * kSectorSize;
    const bool validInquiry =
        inquiry && request.buffer != nullptr && request.transferLength > 0 && request.transferLength <= request.cdb[4];
    const auto found = drives_.find(drive);
    if (!validRead && !validInquiry) {
      // Never write to a disk, and never accept a request that could: count it so tests can prove none came.
      ++refused_;
      char opcode[8];
      std::snprintf(opcode, sizeof opcode, "%02X", operation);
      Trace(std::to_string(drive) + " REFUSED " + opcode);
    } else if (validInquiry) {
      Trace(std::to_string(drive) + " INQUIRY");
      if (found != drives_.end() && found->second.plugged) {
        if (found->second.controller)
          found->second.controller->Inquiry(request.buffer, request.transferLength);
        else
          FillInquiry(found->second.spec.inquiry, request.buffer, request.transferLength);
        completed = true;
      }
    } else {
      const std::uint32_t lba = CdbLba(request.cdb);
      Trace(std::to_string(drive) + " READ " + std::to_string(lba));
      if (found != drives_.end() && found->second.plugged) {
        if (found->second.controller) {
          completed = found->second.controller->Read(lba, count, request.buffer);
        } else {
          for (std::uint32_t i = 0; i < count; ++i) FillDiskData(lba + i, request.buffer + i * kSectorSize);
          completed = true;
        }
      }
    }
  }
  NotifyIfChanged(changed);
  if (scenario_.requestCostUs != 0 && !clock_.isVirtual())
    std::this_thread::sleep_for(std::chrono::microseconds(scenario_.requestCostUs));
  return completed;
}

}  // namespace rur::sim
