// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine on a thread of its own: it steps the engine's timers, runs the commands the bus
// thread posts (one at a time, in order) and publishes a new snapshot of the model after every
// step that changed it, and at least once a second for what changes outside the engine (an
// upgrade another process makes). Nothing else touches the engine, so a controller's wait holds up
// the engine alone, never a client of the bus.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/program.h"
#include "service/service_snapshot.h"

namespace rur::service {

class EngineThread {
 public:
  using Command = std::function<void()>;

  explicit EngineThread(Program& program);
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  // Starts the thread. `published` hears each new snapshot, `afterStep` runs after every step
  // (both on the engine thread).
  void Start(std::function<void(SnapshotPointer)> published, std::function<void()> afterStep);
  // Ends the thread after the command or step under way; waits for it.
  void Stop();
  // Any thread: `command` runs on the engine thread at its next turn.
  void Post(Command command);
  // Any thread: the latest snapshot (never null once started).
  SnapshotPointer snapshot() const;

  // --- on the engine thread ---
  // Runs the commands posted so far: the loop does, and a long job's waits do too, so a client is
  // answered while a flash is read or written.
  void RunCommands();
  // Takes and publishes a snapshot now.
  void Publish();
  // From a job's waits: the commands posted meanwhile, and the engine's timers where no controller
  // command is under way, so every other enclosure keeps its refresh.
  void StepBesideJob();
  // The upgrade this service runs itself, as the snapshots show it.
  OwnUpgrade& ownUpgrade() { return own_; }
  Program& program() { return program_; }

 private:
  void Loop();
  // Publishes when the engine's model changed, or the last snapshot is a second old.
  void PublishIfDue();

  Program& program_;
  std::function<void(SnapshotPointer)> published_;
  std::function<void()> afterStep_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;  // commands_, snapshot_
  std::condition_variable wake_;
  std::vector<Command> commands_;
  SnapshotPointer snapshot_;
  OwnUpgrade own_;
  bool runningCommands_ = false;
  std::uint64_t publishedMs_ = 0;
  unsigned publishedRefresh_ = 0;
  unsigned publishedDevices_ = 0;
};

}  // namespace rur::service
