// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/upgrade_jobs.h"

#include "cli/engine_session.h"
#include "platform/interruption_hold.h"
#include "service/service_errors.h"

namespace rur::service {
namespace {

constexpr const char* kJobPathPrefix = "/org/roderur/RodeRur1/job";
constexpr const char* kKeepRunningNotice =
    "rode-rurd: a firmware upgrade runs and must not be interrupted; the service ends once it has finished";
constexpr uint32_t kWholePercent = 100;

// The step of the running upgrade from its progress panel's caption.
std::string StepOf(const std::string& caption) {
  if (caption == "Process 1 / 3") return "erase";
  if (caption == "Process 2 / 3") return "program";
  if (caption == "Process 3 / 3") return "verify";
  return "running";
}

}  // namespace

JobObject::JobObject(sdbus::IConnection& connection, std::string path)
    : AdaptorInterfaces(connection, std::move(path)) {
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

sdbus::ObjectPath UpgradeJobs::Start(unsigned position, int fd, bool force) {
  if (Busy()) throw sdbus::Error(kErrorBusy, "a firmware upgrade runs already; try again when it is over");
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
  const std::string path = kJobPathPrefix + std::to_string(jobs_.size() + 1);
  jobs_.push_back(std::make_unique<JobObject>(connection_, path));
  pending_ = jobs_.back().get();
  device_ = device;
  return sdbus::ObjectPath(path);
}

void UpgradeJobs::ShowProgress() {
  const FirmwareUpgrade& firmware = program_.engine().firmware();
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
  UpgradeOutcome outcome;
  int held = 0;
  {
    const InterruptionHold hold(kKeepRunningNotice);
    outcome = program_.engine().RunUpgrade();
    held = InterruptionHold::lastHeldSignal();
  }
  ui_.WhileWaiting({});
  const bool ok = outcome == UpgradeOutcome::Succeeded;
  std::string message = ui_.TakeMessages();
  if (ok)
    message = "the flash of " + device_ + " was upgraded";
  else if (message.empty())
    message = "the upgrade of " + device_ + " did not succeed";
  running_->Complete(ok, message);
  running_ = nullptr;
  return held;
}

}  // namespace rur::service
