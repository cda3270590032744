// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/engine_thread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace rur::service {
namespace {

// The longest the thread sleeps: a stop is seen within it, and the snapshot is at most this old
// in what changes outside the engine.
constexpr std::uint64_t kLongestWaitMs = 1000;

}  // namespace

EngineThread::EngineThread(Program& program) : program_(program) {}

EngineThread::~EngineThread() { Stop(); }

void EngineThread::Start(std::function<void(SnapshotPointer)> published, std::function<void()> afterStep) {
  published_ = std::move(published);
  afterStep_ = std::move(afterStep);
  Publish();
  thread_ = std::thread([this] { Loop(); });
}

void EngineThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void EngineThread::Post(Command command) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
  }
  wake_.notify_all();
}

SnapshotPointer EngineThread::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

void EngineThread::RunCommands() {
  // A command that waits (a job) runs the commands posted meanwhile from its waits, but never
  // itself again from there.
  if (runningCommands_) return;
  runningCommands_ = true;
  for (;;) {
    std::vector<Command> commands;
    {
      std::lock_guard lock(mutex_);
      commands.swap(commands_);
    }
    if (commands.empty()) break;
    for (auto& command : commands) {
      runningCommands_ = false;  // a job's waits may answer the commands that came after it
      command();
      runningCommands_ = true;
    }
  }
  runningCommands_ = false;
}

void EngineThread::Publish() {
  SnapshotPointer taken = TakeSnapshot(program_, own_);
  publishedMs_ = program_.clock().nowMs();
  publishedRefresh_ = taken->refreshCount;
  publishedDevices_ = taken->deviceCount;
  {
    std::lock_guard lock(mutex_);
    snapshot_ = taken;
  }
  if (published_) published_(std::move(taken));
}

void EngineThread::PublishIfDue() {
  const Engine& engine = program_.engine();
  if (engine.refreshCount() != publishedRefresh_ || engine.deviceCount() != publishedDevices_ ||
      program_.clock().nowMs() >= publishedMs_ + kLongestWaitMs)
    Publish();
}

void EngineThread::StepBesideJob() {
  RunCommands();
  Engine& engine = program_.engine();
  if (engine.ControllerCommandInFlight() || program_.clock().nowMs() < engine.NextDue()) return;
  engine.Step();
  PublishIfDue();
}

void EngineThread::Loop() {
  Engine& engine = program_.engine();
  Clock& clock = program_.clock();
  engine.RefreshBesideJobs(true);
  while (!stop_) {
    RunCommands();
    engine.Step();
    if (afterStep_) afterStep_();
    PublishIfDue();
    const std::uint64_t now = clock.nowMs();
    const std::uint64_t due = engine.NextDue();
    const std::uint64_t waitMs = due > now ? std::min(due - now, kLongestWaitMs) : 0;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return stop_ || !commands_.empty(); });
  }
}

}  // namespace rur::service
