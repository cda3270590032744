// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Firmware upgrades and backups for the service's callers, each a Job object. The call is checked
// (the caller's descriptor on the bus thread, the image against the device on the engine's) and
// answered with the job's path; the work then runs on the engine's thread, whose waits keep
// answering the other callers, while the bus thread serves every read from the snapshots. The
// signals that would end the service are held while the flash is read or written, and a stop
// asked for meanwhile is answered once the job has ended. A job's object stays five minutes after
// its end, so a client that looks late still learns how it ended.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "service/rode_rur1_adaptor.h"
#include "service/service_context.h"

namespace rur::service {

class JobObject final : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Job_adaptor> {
 public:
  JobObject(sdbus::IConnection& connection, std::string path, std::string operation, std::string owner,
            sdbus::ObjectPath enclosure, std::function<void()> cancel);
  ~JobObject();

  // Signals the properties that changed.
  void Show(const std::string& step, uint32_t percent);
  void Complete(bool ok, const std::string& message);
  // From now on Cancel refuses: the flash is being rewritten.
  void Uncancellable() { cancel_ = nullptr; }
  bool ended() const { return ended_; }
  std::chrono::steady_clock::time_point endedAt() const { return endedAt_; }

 private:
  std::string Operation() override { return operation_; }
  std::string Step() override { return step_; }
  uint32_t Percent() override { return percent_; }
  std::string Owner() override { return owner_; }
  sdbus::ObjectPath Enclosure() override { return enclosure_; }
  std::string Message() override { return message_; }
  void Cancel() override;

  std::string operation_;
  std::string owner_;
  sdbus::ObjectPath enclosure_;
  std::string step_ = "waiting";
  uint32_t percent_ = 0;
  std::string message_;
  bool ended_ = false;
  std::chrono::steady_clock::time_point endedAt_;
  std::function<void()> cancel_;  // empty: the job can no longer be cancelled
};

class UpgradeJobs {
 public:
  explicit UpgradeJobs(ServiceContext& context);

  // --- bus thread ---
  // Checks the image in `fd` against the enclosure `key` and starts its upgrade; `reply` hears
  // the job's path or what stands in the way.
  void StartUpgrade(KeptReply<sdbus::ObjectPath> reply, const std::string& key, const sdbus::ObjectPath& enclosure,
                    const sdbus::UnixFd& fd, bool force, const std::string& owner);
  // Starts writing the first `length` bytes of the enclosure's flash to `fd`.
  void StartBackup(KeptReply<sdbus::ObjectPath> reply, const std::string& key, const sdbus::ObjectPath& enclosure,
                   const sdbus::UnixFd& fd, std::uint32_t length, const std::string& owner);
  // Whether a job holds the enclosure `key` now: its controller is not to be asked meanwhile.
  bool Holds(const std::string& key) const;
  // Error.Busy naming the job that holds the engine's flash work.
  sdbus::Error BusyError() const;
  // Removes the objects of jobs that ended long enough ago.
  void Expire();

  // Any thread: whether the flash of an enclosure is being written now (a stop waits for it).
  bool upgradeRunning() const { return upgradeRunning_.load(); }
  // Any thread: the last stop signal held while a job ran, once (0 when none came).
  int TakeHeldSignal() { return heldSignal_.exchange(0); }

 private:
  std::string Reserve(const std::string& key, const char* operation);
  void Release();
  JobObject* Find(const std::string& path);
  // On the engine thread: runs the job's work with its progress shown.
  void RunUpgrade(const std::string& path, unsigned drive);
  void RunBackup(const std::string& path, unsigned position, sdbus::UnixFd fd, std::uint32_t length);
  void ShowProgress(const std::string& path, bool backup, std::uint32_t length);

  ServiceContext& context_;
  std::map<std::string, std::unique_ptr<JobObject>> jobs_;  // by path
  unsigned jobsMade_ = 0;
  std::string reservedKey_;  // the enclosure whose flash the engine works on now
  std::string reservedOperation_;
  std::atomic<bool> upgradeRunning_{false};
  // Backups whose owner cancelled them, by path: their bytes are not written (any thread).
  std::mutex cancelledMutex_;
  std::set<std::string> cancelled_;
  std::atomic<int> heldSignal_{0};
  // Engine thread: the progress last shown.
  std::string shownStep_;
  std::uint32_t shownPercent_ = 0;
  std::uint64_t publishedMs_ = 0;
};

}  // namespace rur::service
