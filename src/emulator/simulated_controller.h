// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One simulated enclosure controller behind its disk: it watches the reads it receives for
// command frames, executes them on the state it holds (identity, array mode, two members, a
// rebuild, fan and temperature, an SPI flash) and leaves the answer at LBA 17 until the next
// frame. Faults from the scenario make it fail in the ways a real controller does.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "emulator/frame_recognizer.h"
#include "emulator/scenario.h"
#include "emulator/spi_flash.h"
#include "platform/clock.h"
#include "transport/scsi_device.h"

namespace rur::sim {

// Status bytes the controller answers with besides 20h ("carried out").
constexpr std::uint8_t kStatusFailed = 0xC0;    // the command could not be carried out
constexpr std::uint8_t kStatusRejected = 0xE0;  // the frame named no command this controller knows

struct RebuildState {
  bool running = false;
  unsigned port = 0;
  std::uint64_t size = 0;      // sectors
  std::uint64_t position = 0;  // sectors done
  std::uint64_t speed = 0;     // sectors per second of clock time
};

// A command the controller executed, for tests and diagnostics.
struct ExecutedCommand {
  std::uint8_t opcode = 0;
  std::array<std::uint8_t, 3> params{};
  std::uint8_t status = 0;
};

class SimulatedController {
 public:
  // programStartMs: the clock reading that timeline and fault times count from.
  SimulatedController(const DriveSpec& drive, Clock& clock, std::uint64_t programStartMs = 0);

  // The disk face. Read returns false when a transport fault strikes the request.
  bool Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* buffer);
  void Inquiry(std::uint8_t* buffer, std::uint32_t length) const;
  // Power lost and back (enclosure unplugged): the frame in progress and the last answer are gone.
  void PowerCycle();

  ControllerKind kind() const { return spec_.kind; }
  const EnclosureSpec& spec() const { return spec_; }

  // Array and members. Members are kept by controller port; HDD1 and HDD2 sit on ports
  // that the member order decides.
  std::uint8_t arrayMode() const { return mode_; }
  void setArrayMode(std::uint8_t mode) { mode_ = mode; }
  unsigned portOf(unsigned hdd) const;  // hdd 1 or 2
  const MemberSpec& member(unsigned port) const { return members_.at(port); }
  // Whether the bay holds a disk: present, being rebuilt, just inserted or failed.
  bool hasDisk(unsigned port) const;
  std::uint8_t memberState(unsigned port) const { return members_.at(port).state; }
  void setMemberState(unsigned port, std::uint8_t state);
  void setMemberDisk(unsigned port, const MemberDisk& disk);
  void removeMember(unsigned hdd);
  void insertMember(unsigned hdd, const std::optional<MemberDisk>& disk = std::nullopt);
  void failMember(unsigned hdd);
  // The disk in a bay reports another SMART attribute: the entry with its id is replaced, or the
  // attribute is added while the page has room (30 entries).
  void setMemberAttribute(unsigned hdd, const SmartAttribute& attribute);
  std::uint64_t capacity() const;  // of the array, as the identity answer reports it

  // Rebuild, advanced to the clock whenever it is looked at.
  RebuildState rebuild();
  void startRebuild(unsigned port, std::uint64_t speed = 0, std::uint64_t position = 0, std::uint64_t size = 0);
  void stopRebuild();

  std::uint16_t fan() const { return fan_; }
  std::uint8_t temperature() const { return temperature_; }
  void setFan(std::uint16_t rpm) { fan_ = rpm; }
  void setTemperature(std::uint8_t celsius) { temperature_ = celsius; }

  SpiFlash& flash() { return flash_; }
  const SpiFlash& flash() const { return flash_; }
  // The version field of the image in flash, which the identity answer reports.
  std::uint32_t firmwareVersion() const;

  // Called after every erase or write command that reached the flash.
  void setFlashChangedListener(std::function<void()> listener) { flashChanged_ = std::move(listener); }

  void addFault(const Fault& fault) { faults_.push_back(fault); }
  void clearFaults() { faults_.clear(); }
  std::vector<Fault>& faults() { return faults_; }

  const std::deque<ExecutedCommand>& executed() const { return executed_; }
  // Hears every command as it is executed, for tests that follow a run longer than executed() keeps.
  void setExecutedListener(std::function<void(const ExecutedCommand&)> listener) {
    executedListener_ = std::move(listener);
  }
  unsigned badCrcFrames() const { return badCrcFrames_; }
  bool answerPending() const { return answer_.has_value(); }

 private:
  void Execute(const CommandFrame& frame);
  std::uint8_t Run(const CommandFrame& frame, Sector& answer, bool keepFlash);
  std::uint8_t RunAtaIssue(const std::array<std::uint8_t, 3>& params, const std::uint8_t* fis);
  std::uint8_t RunAtaFetch(const std::array<std::uint8_t, 3>& params, Sector& answer);
  void FillIdentity(Sector& answer) const;
  void FillMembers(Sector& answer) const;
  void FillRebuild(Sector& answer);
  bool FaultMatches(const Fault& fault, const CommandFrame& frame) const;
  bool FaultActive(const Fault& fault) const;
  bool TransportFails(std::uint32_t lba);
  void ServeResponse(std::uint8_t* sector);
  std::uint64_t programTimeMs() const;

  void AdvanceRebuild();

  EnclosureSpec spec_;
  InquirySpec inquiry_;
  Clock& clock_;
  std::uint64_t programStartMs_;
  std::uint8_t mode_;
  std::array<MemberSpec, 2> members_;  // by port
  std::uint16_t fan_;
  std::uint8_t temperature_;
  SpiFlash flash_;

  RebuildState rebuild_;
  std::uint64_t rebuildAnchorMs_ = 0;        // clock reading at which...
  std::uint64_t rebuildAnchorPosition_ = 0;  // ...the rebuild had reached this position

  struct PreparedPage {
    std::uint8_t ataCode = 0;
    Sector page{};
  };
  std::array<std::optional<PreparedPage>, 2> prepared_;  // by port, for the ATA fetches

  FrameRecognizer recognizer_;
  std::optional<Sector> answer_;
  unsigned hiddenPolls_ = 0;  // polls of LBA 17 that still see no answer
  std::vector<Fault> faults_;
  std::deque<ExecutedCommand> executed_;
  std::function<void(const ExecutedCommand&)> executedListener_;
  std::function<void()> flashChanged_;
  unsigned badCrcFrames_ = 0;
};

}  // namespace rur::sim
