// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/upgrade_jobs.h"

#include <algorithm>
#include <csignal>
#include <thread>
#include <utility>

#include "cli/engine_session.h"
#include "platform/interruption_hold.h"
#include "service/caller_descriptor.h"

namespace rur::service {
namespace {

constexpr const char* kJobPathPrefix = "/org/roderur/RodeRur1/job";
constexpr const char* kKeepRunningNotice =
    "rode-rurd: a firmware job runs and must not be interrupted; the service ends once it has finished";
constexpr const char* kUpgradeOperation = "upgrade-firmware";
constexpr const char* kBackupOperation = "backup-firmware";
constexpr uint32_t kWholePercent = 100;
// How long an ended job's object stays.
constexpr std::chrono::minutes kEndedJobKept{5};
// How long a backup waits for its reader to take more bytes.
constexpr int kReaderSilenceMs = 30000;
// While a job runs, the snapshot (the enclosure's upgrade step and percent) is renewed this often.
constexpr std::uint64_t kJobPublishMs = 1000;

// The step of the running upgrade from its progress panel's caption.
std::string StepOf(const std::string& caption) {
  if (caption == "Process 1 / 3") return "erase";
  if (caption == "Process 2 / 3") return "program";
  if (caption == "Process 3 / 3") return "verify";
  return "running";
}

UpgradeStep StepNamed(const std::string& step) {
  if (step == "program") return UpgradeStep::Program;
  if (step == "verify") return UpgradeStep::Verify;
  return UpgradeStep::Erase;
}

}  // namespace

JobObject::JobObject(sdbus::IConnection& connection, std::string path, std::string operation, std::string owner,
                     sdbus::ObjectPath enclosure, std::function<void()> cancel)
    : AdaptorInterfaces(connection, std::move(path)),
      operation_(std::move(operation)),
      owner_(std::move(owner)),
      enclosure_(std::move(enclosure)),
      cancel_(std::move(cancel)) {
  registerAdaptor();
}

void JobObject::Cancel() {
  const sdbus::Message* message = getObject().getCurrentlyProcessedMessage();
  if (message == nullptr || message->getSender() != owner_)
    throw sdbus::Error(kErrorNotAuthorized, "not authorized: only the caller that started the job cancels it");
  if (ended_) throw sdbus::Error(kErrorFailed, "the job has ended already");
  if (!cancel_) throw sdbus::Error(kErrorFailed, "the erase has begun: the upgrade must finish for the flash to work");
  const auto cancel = std::move(cancel_);
  cancel_ = nullptr;
  cancel();
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
  message_ = message;
  Show(ok ? "done" : "failed", ok ? kWholePercent : percent_);
  getObject().emitPropertiesChangedSignal(INTERFACE_NAME, {"Message"});
  ended_ = true;
  endedAt_ = std::chrono::steady_clock::now();
  // To the caller that started the job; others read Step and Message.
  auto signal = getObject().createSignal(INTERFACE_NAME, "Completed");
  signal.setDestination(owner_);
  signal << ok << message;
  getObject().emitSignal(signal);
}

UpgradeJobs::UpgradeJobs(ServiceContext& context) : context_(context) {}

bool UpgradeJobs::Holds(const std::string& key) const { return !reservedKey_.empty() && reservedKey_ == key; }

sdbus::Error UpgradeJobs::BusyError() const {
  const bool backup = reservedOperation_ == kBackupOperation;
  return sdbus::Error(kErrorBusy, std::string(backup ? "a firmware backup" : "a firmware upgrade") +
                                      " runs; try again when it is over");
}

std::string UpgradeJobs::Reserve(const std::string& key, const char* operation) {
  reservedKey_ = key;
  reservedOperation_ = operation;
  return kJobPathPrefix + std::to_string(++jobsMade_);
}

void UpgradeJobs::Release() {
  reservedKey_.clear();
  reservedOperation_.clear();
}

JobObject* UpgradeJobs::Find(const std::string& path) {
  const auto found = jobs_.find(path);
  return found == jobs_.end() ? nullptr : found->second.get();
}

void UpgradeJobs::Expire() {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    if (it->second->ended() && now - it->second->endedAt() > kEndedJobKept)
      it = jobs_.erase(it);
    else
      ++it;
  }
}

void UpgradeJobs::ShowProgress(const std::string& path, bool backup, std::uint32_t length) {
  EngineThread& engine = context_.engine;
  const FirmwareUpgrade& firmware = engine.program().engine().firmware();
  std::string step;
  std::uint32_t percent = 0;
  if (backup) {
    // The read counts its blocks.
    const std::uint64_t read = static_cast<std::uint64_t>(std::max(firmware.progressCount(), 0)) * kSpiBlockSize;
    step = "read";
    percent =
        static_cast<uint32_t>(std::min<std::uint64_t>(read * kWholePercent / std::max(length, 1u), kWholePercent));
  } else {
    const int maximum = firmware.progressMaximum();
    percent = maximum > 0 ? static_cast<uint32_t>(static_cast<long long>(firmware.progressCount()) * kWholePercent /
                                                  static_cast<unsigned>(maximum))
                          : 0;
    percent = std::min(percent, kWholePercent);
    step = StepOf(firmware.panelShown() ? firmware.panelCaption() : std::string());
    OwnUpgrade& own = engine.ownUpgrade();
    if (step != "running") own.step = StepNamed(step);
    own.percent = percent;
  }
  if (step != shownStep_ || percent != shownPercent_) {
    shownStep_ = step;
    shownPercent_ = percent;
    context_.bus.Post([this, path, step, percent] {
      JobObject* job = Find(path);
      if (job != nullptr && !job->ended()) job->Show(step, percent);
    });
  }
  const std::uint64_t now = engine.program().clock().nowMs();
  if (!backup && now >= publishedMs_ + kJobPublishMs) {
    publishedMs_ = now;
    engine.Publish();
  }
}

void UpgradeJobs::StartUpgrade(KeptReply<sdbus::ObjectPath> reply, const std::string& key,
                               const sdbus::ObjectPath& enclosure, const sdbus::UnixFd& fd, bool force,
                               const std::string& owner) {
  if (auto why = RefuseImageDescriptor(fd.get())) {
    reply->returnError(sdbus::Error(kErrorInvalidArgument, "the image was refused: " + *why));
    return;
  }
  if (!reservedKey_.empty()) {
    reply->returnError(BusyError());
    return;
  }
  const std::string path = Reserve(key, kUpgradeOperation);
  context_.engine.Post([this, reply, key, enclosure, fd, force, owner, path] {
    Program& program = context_.engine.program();
    Engine& engine = program.engine();
    ServiceUi& ui = context_.ui;
    const auto refuse = [this, reply](const char* name, std::string message) {
      context_.bus.Post([this, reply, name, message] {
        Release();
        reply->returnError(sdbus::Error(name, message));
      });
    };
    const std::optional<unsigned> position = PositionOfKey(engine, key);
    if (!position) return refuse(kErrorNoSuchEnclosure, "the enclosure " + key + " is no longer there");
    const std::string device = cli::DeviceLabel(engine, *position);
    ui.Collect();
    if (!engine.PickUpgradeDevice(*position) && engine.firmware().pickedDevice() != *position) {
      ui.TakeMessages();
      return refuse(kErrorFailed, device + " cannot be picked for an upgrade now");
    }
    DescriptorImageReader reader(fd.get());
    if (!engine.LoadFirmwareImage("the caller's image", reader, force)) {
      const std::string why = ui.TakeMessages();
      return refuse(kErrorInvalidArgument, "the image was refused" + (why.empty() ? "" : ": " + why));
    }
    if (engine.CheckUpgrade() != UpgradeOutcome::Succeeded) {
      const std::string why = ui.TakeMessages();
      return refuse(kErrorInvalidArgument, why.empty() ? "the image does not fit " + device : why);
    }
    if (!force && engine.ImageMuchShorter().value_or(false)) {
      ui.TakeMessages();
      const std::uint32_t length = engine.firmware().image().length;
      return refuse(kErrorInvalidArgument,
                    "the firmware in the flash of " + device + " reaches past " + std::to_string(length) +
                        " bytes, and the image has " + std::to_string(length) +
                        ": it is shorter than the firmware it replaces; add the option force to write it all "
                        "the same. The flash was not touched");
    }
    ui.TakeMessages();
    const unsigned drive = engine.DriveAt(*position);
    // The run starts right after the answer: its erase comes before a Cancel could.
    context_.bus.Post([this, reply, path, enclosure, owner] {
      jobs_[path] =
          std::make_unique<JobObject>(context_.connection, path, kUpgradeOperation, owner, enclosure, nullptr);
      reply->returnResults(sdbus::ObjectPath(path));
    });
    RunUpgrade(path, drive);
  });
}

void UpgradeJobs::RunUpgrade(const std::string& path, unsigned drive) {
  EngineThread& engineThread = context_.engine;
  Engine& engine = engineThread.program().engine();
  ServiceUi& ui = context_.ui;
  OwnUpgrade& own = engineThread.ownUpgrade();
  own = OwnUpgrade{true, drive, UpgradeStep::Erase, 0};
  upgradeRunning_ = true;
  shownStep_.clear();
  shownPercent_ = 0;
  publishedMs_ = 0;
  engineThread.Publish();
  const std::string device = cli::DeviceLabel(engine, engine.firmware().pickedDevice());
  ui.Collect();
  ui.WhileWaiting([this, path, &engineThread] {
    ShowProgress(path, false, 0);
    engineThread.StepBesideJob();
  });
  bool ok = false;
  int held = 0;
  {
    const InterruptionHold hold(kKeepRunningNotice);
    ok = engine.RunUpgrade() == UpgradeOutcome::Succeeded;
    held = InterruptionHold::lastHeldSignal();
  }
  ui.WhileWaiting({});
  // A success ends with the engine's own closing words, which the client prints as they are.
  std::string message = ok ? ui.TakeMessageLines() : ui.TakeMessages();
  if (ok && message.empty())
    message = "the flash of " + device + " was upgraded";
  else if (message.empty())
    message = "the upgrade of " + device + " did not succeed";
  own = OwnUpgrade{};
  upgradeRunning_ = false;
  if (held != 0) heldSignal_ = held;
  engineThread.Publish();
  context_.bus.Post([this, path, ok, message] {
    Release();
    if (JobObject* job = Find(path)) job->Complete(ok, message);
  });
}

void UpgradeJobs::StartBackup(KeptReply<sdbus::ObjectPath> reply, const std::string& key,
                              const sdbus::ObjectPath& enclosure, const sdbus::UnixFd& fd, std::uint32_t length,
                              const std::string& owner) {
  if (auto why = RefuseBackupDescriptor(fd.get())) {
    reply->returnError(sdbus::Error(kErrorInvalidArgument, "the backup was refused: " + *why));
    return;
  }
  if (!reservedKey_.empty()) {
    reply->returnError(BusyError());
    return;
  }
  const std::string path = Reserve(key, kBackupOperation);
  jobs_[path] =
      std::make_unique<JobObject>(context_.connection, path, kBackupOperation, owner, enclosure, [this, path] {
        // The read under way ends on its own; its bytes go nowhere.
        {
          std::lock_guard lock(cancelledMutex_);
          cancelled_.insert(path);
        }
        if (JobObject* job = Find(path)) job->Complete(false, "cancelled by its owner");
      });
  reply->returnResults(sdbus::ObjectPath(path));
  context_.engine.Post([this, key, fd, length, path] {
    const std::optional<unsigned> position = PositionOfKey(context_.engine.program().engine(), key);
    if (!position) {
      context_.bus.Post([this, path, key] {
        Release();
        if (JobObject* job = Find(path)) job->Complete(false, "the enclosure " + key + " is no longer there");
      });
      return;
    }
    RunBackup(path, *position, fd, length);
  });
}

void UpgradeJobs::RunBackup(const std::string& path, unsigned position, sdbus::UnixFd fd, std::uint32_t length) {
  EngineThread& engineThread = context_.engine;
  Engine& engine = engineThread.program().engine();
  ServiceUi& ui = context_.ui;
  const std::string device = cli::DeviceLabel(engine, position);
  shownStep_.clear();
  shownPercent_ = 0;
  ui.Collect();
  ui.WhileWaiting([this, path, length, &engineThread] {
    ShowProgress(path, true, length);
    engineThread.StepBesideJob();
  });
  std::vector<std::uint8_t> bytes;
  bool read = false;
  int held = 0;
  {
    const InterruptionHold hold(kKeepRunningNotice);
    read = engine.BackupFlash(position, length, bytes);
    held = InterruptionHold::lastHeldSignal();
  }
  ui.WhileWaiting({});
  ui.TakeMessages();  // the outcome says what matters
  if (held != 0) heldSignal_ = held;
  std::string failure;
  if (!read) {
    const std::string& holder = engine.firmware().busyHolder();
    failure = !holder.empty() ? engine.DrivePathText(engine.DriveAt(position)) + " is in use by " + holder +
                                    "; try again when it has finished"
                              : "the flash could not be read";
  }
  // The engine and the enclosure are free again; the bytes go to the caller's descriptor beside
  // them, at the pace its reader takes them.
  context_.bus.Post([this] { Release(); });
  if (!failure.empty()) {
    context_.bus.Post([this, path, failure] {
      JobObject* job = Find(path);
      if (job != nullptr && !job->ended()) job->Complete(false, failure);
    });
    std::lock_guard lock(cancelledMutex_);
    cancelled_.erase(path);
    return;
  }
  bytes.resize(length);
  BusMailbox& bus = context_.bus;
  std::thread([this, &bus, path, fd, bytes = std::move(bytes), length, device] {
    {
      std::lock_guard lock(cancelledMutex_);
      if (cancelled_.erase(path) > 0) return;
    }
    std::string error;
    const bool ok = WriteWithoutBlocking(fd.get(), bytes.data(), bytes.size(), kReaderSilenceMs, error);
    const std::string message = ok ? std::to_string(length) + " bytes of the flash of " + device : error;
    bus.Post([this, path, ok, message] {
      JobObject* job = Find(path);
      if (job != nullptr && !job->ended()) job->Complete(ok, message);
    });
  }).detach();
}

}  // namespace rur::service
