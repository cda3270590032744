// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/upgrade_jobs.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/engine_session.h"
#include "platform/interruption_hold.h"
#include "service/service_errors.h"

namespace rur::service {
namespace {

constexpr const char* kJobPathPrefix = "/org/roderur/RodeRur1/job";
constexpr const char* kKeepRunningNotice =
    "rode-rurd: a firmware job runs and must not be interrupted; the service ends once it has finished";
constexpr const char* kUpgradeOperation = "upgrade-firmware";
constexpr const char* kBackupOperation = "backup-firmware";
constexpr uint32_t kWholePercent = 100;

// The step of the running upgrade from its progress panel's caption.
std::string StepOf(const std::string& caption) {
  if (caption == "Process 1 / 3") return "erase";
  if (caption == "Process 2 / 3") return "program";
  if (caption == "Process 3 / 3") return "verify";
  return "running";
}

// Writes all of `bytes` to `fd`; false with errno set when it cannot.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

JobObject::JobObject(sdbus::IConnection& connection, std::string path, std::string operation)
    : AdaptorInterfaces(connection, std::move(path)), operation_(std::move(operation)) {
  registerAdaptor();
}

JobObject::~JobObject() { unregisterAdaptor(); }

void JobObject::Show(const std::string& step, uint32_t percent) {
  std::vector<std::string> changed;
  if (step != step_) changed.emplace_back("Step");
  if (percent != percent_) changed.emplace_back("Percent");
  step_ = step;
  percent_ = percent;
  if (!changed.empty()) getObject().emitPropertiesChangedSignal(INTERFACE_NAME, changed);
}

void JobObject::Complete(bool ok, const std::string& message) {
  Show(ok ? "done" : "failed", ok ? kWholePercent : percent_);
  emitCompleted(ok, message);
}

UpgradeJobs::UpgradeJobs(sdbus::IConnection& connection, Program& program, ServiceUi& ui)
    : connection_(connection), program_(program), ui_(ui) {}

bool UpgradeJobs::Busy() const {
  return pending_ != nullptr || running_ != nullptr || program_.engine().UpgradeRunning();
}

sdbus::Error UpgradeJobs::BusyError() const {
  const JobObject* job = running_ != nullptr ? running_ : pending_;
  const bool backup = job != nullptr && backupLength_ > 0;
  return sdbus::Error(kErrorBusy, std::string(backup ? "a firmware backup" : "a firmware upgrade") +
                                      " runs; try again when it is over");
}

JobObject& UpgradeJobs::AddJob(const char* operation) {
  const std::string path = kJobPathPrefix + std::to_string(jobs_.size() + 1);
  jobs_.push_back(std::make_unique<JobObject>(connection_, path, operation));
  return *jobs_.back();
}

sdbus::ObjectPath UpgradeJobs::StartBackup(unsigned position, const sdbus::UnixFd& fd, std::uint32_t length) {
  if (Busy()) throw BusyError();
  pending_ = &AddJob(kBackupOperation);
  device_ = cli::DeviceLabel(program_.engine(), position);
  backupPosition_ = position;
  backupFd_ = fd;  // a descriptor of its own: the call's closes when the call returns
  backupLength_ = length;
  return sdbus::ObjectPath(pending_->getObjectPath());
}

sdbus::ObjectPath UpgradeJobs::Start(unsigned position, int fd, bool force) {
  if (Busy()) throw BusyError();
  Engine& engine = program_.engine();
  const std::string device = cli::DeviceLabel(engine, position);
  ui_.Collect();
  // Whatever way the call ends, the boxes are no longer kept.
  struct StopCollecting {
    ServiceUi& ui;
    ~StopCollecting() { ui.TakeMessages(); }
  } stopCollecting{ui_};
  if (!engine.PickUpgradeDevice(position) && engine.firmware().pickedDevice() != position)
    throw sdbus::Error(kErrorFailed, device + " cannot be picked for an upgrade now");
  // The caller opened the image with its own rights; the service reads it through the descriptor.
  const std::string image = "/proc/self/fd/" + std::to_string(fd);
  if (!engine.LoadFirmwareImage(image, force)) {
    const std::string why = ui_.TakeMessages();
    throw sdbus::Error(kErrorInvalidArgument, "the image was refused" + (why.empty() ? "" : ": " + why));
  }
  if (engine.CheckUpgrade() != UpgradeOutcome::Succeeded) {
    const std::string why = ui_.TakeMessages();
    throw sdbus::Error(kErrorInvalidArgument, why.empty() ? "the image does not fit " + device : why);
  }
  if (!force && engine.ImageMuchShorter().value_or(false)) {
    const std::uint32_t length = engine.firmware().image().length;
    throw sdbus::Error(kErrorInvalidArgument,
                       "the firmware in the flash of " + device + " reaches past " +
                           std::to_string(kMuchShorterFactor * length) + " bytes, and the image has " +
                           std::to_string(length) +
                           ": it is much shorter than the firmware it replaces; add the option force to write it all "
                           "the same. The flash was not touched");
  }
  pending_ = &AddJob(kUpgradeOperation);
  device_ = device;
  backupLength_ = 0;
  return sdbus::ObjectPath(pending_->getObjectPath());
}

void UpgradeJobs::ShowProgress() {
  const FirmwareUpgrade& firmware = program_.engine().firmware();
  if (backupLength_ > 0) {
    // The read counts its blocks.
    const std::uint64_t read = static_cast<std::uint64_t>(std::max(firmware.progressCount(), 0)) * kSpiBlockSize;
    running_->Show("read",
                   static_cast<uint32_t>(std::min<std::uint64_t>(read * kWholePercent / backupLength_, kWholePercent)));
    return;
  }
  const int maximum = firmware.progressMaximum();
  const uint32_t percent = maximum > 0 ? static_cast<uint32_t>(static_cast<long long>(firmware.progressCount()) *
                                                               kWholePercent / static_cast<unsigned>(maximum))
                                       : 0;
  running_->Show(StepOf(firmware.panelShown() ? firmware.panelCaption() : std::string()),
                 std::min(percent, kWholePercent));
}

int UpgradeJobs::RunPending() {
  if (pending_ == nullptr) return 0;
  running_ = pending_;
  pending_ = nullptr;
  ui_.Collect();
  ui_.WhileWaiting([this] {
    ShowProgress();
    while (connection_.processPendingRequest()) {
    }
  });
  std::pair<bool, std::string> outcome;
  int held = 0;
  {
    const InterruptionHold hold(kKeepRunningNotice);
    outcome = backupLength_ > 0 ? RunBackup() : RunUpgrade();
    held = InterruptionHold::lastHeldSignal();
  }
  ui_.WhileWaiting({});
  running_->Complete(outcome.first, outcome.second);
  running_ = nullptr;
  backupFd_ = sdbus::UnixFd();
  backupLength_ = 0;
  return held;
}

std::pair<bool, std::string> UpgradeJobs::RunUpgrade() {
  const bool ok = program_.engine().RunUpgrade() == UpgradeOutcome::Succeeded;
  std::string message = ui_.TakeMessages();
  if (ok)
    message = "the flash of " + device_ + " was upgraded";
  else if (message.empty())
    message = "the upgrade of " + device_ + " did not succeed";
  return {ok, message};
}

std::pair<bool, std::string> UpgradeJobs::RunBackup() {
  Engine& engine = program_.engine();
  std::vector<std::uint8_t> bytes;
  const bool read = engine.BackupFlash(backupPosition_, backupLength_, bytes);
  ui_.TakeMessages();  // the outcome says what matters
  if (!read) {
    const std::string& holder = engine.firmware().busyHolder();
    if (!holder.empty())
      return {false, engine.DrivePathText(engine.DriveAt(backupPosition_)) + " is in use by " + holder +
                         "; try again when it has finished"};
    return {false, "the flash could not be read"};
  }
  bytes.resize(backupLength_);
  if (!WriteAll(backupFd_.get(), bytes))
    return {false, std::string("the backup file could not be written: ") + std::strerror(errno)};
  return {true, std::to_string(backupLength_) + " bytes of the flash of " + device_};
}

}  // namespace rur::service
