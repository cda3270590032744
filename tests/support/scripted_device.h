// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small stand-in disk for transport tests: it records every request and answers LBA 17 from a
// script, so the frame, separator and polling rules can be checked read by read.

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "transport/pass_through.h"
#include "transport/response_sector.h"
#include "transport/scsi_device.h"

namespace rur::test {

struct RecordedRequest {
  std::array<std::uint8_t, 10> cdb;
  std::uint32_t lba;
  std::uint32_t transferLength;
  std::uint32_t timeoutMs;
};

struct ScriptedDisk {
  std::vector<RecordedRequest> requests;
  // Called for every read of LBA 17 with the poll number (1, 2, ...); fills the sector.
  std::function<void(int poll, Sector&)> answer = [](int, Sector&) {};
  int responsePolls = 0;
  std::function<bool(std::uint32_t lba)> readFails = [](std::uint32_t) { return false; };
  // Reads the disk turns down with a check condition: done at the transport level, no data.
  std::function<bool(std::uint32_t lba)> checkCondition = [](std::uint32_t) { return false; };
  // Sees every read that does not fail, before a read of LBA 17 is answered.
  std::function<void(std::uint32_t lba)> onRead;

  std::vector<std::uint32_t> readLbas() const {
    std::vector<std::uint32_t> lbas;
    for (const auto& r : requests)
      if (r.cdb[0] == kOpRead10) lbas.push_back(r.lba);
    return lbas;
  }
};

class ScriptedDevice final : public ScsiDevice {
 public:
  explicit ScriptedDevice(ScriptedDisk& disk) : disk_(disk) {}
  bool Execute(const ScsiRequest& request) override {
    const std::uint32_t lba = (std::uint32_t{request.cdb[2]} << 24) | (std::uint32_t{request.cdb[3]} << 16) |
                              (std::uint32_t{request.cdb[4]} << 8) | request.cdb[5];
    disk_.requests.push_back({request.cdb, lba, request.transferLength, request.timeoutMs});
    if (request.cdb[0] != kOpRead10) return true;
    if (disk_.readFails(lba)) return false;
    if (disk_.checkCondition(lba)) return true;
    std::memset(request.buffer, 0, request.transferLength);
    if (disk_.onRead) disk_.onRead(lba);
    if (lba == 17) {
      Sector sector{};
      disk_.answer(++disk_.responsePolls, sector);
      std::memcpy(request.buffer, sector.data(), kSectorSize);
    }
    return true;
  }

 private:
  ScriptedDisk& disk_;
};

class ScriptedDriveSource final : public DriveSource {
 public:
  ScriptedDisk disk;
  unsigned driveNumber = 0;
  int opens = 0;
  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    ++opens;
    if (number != driveNumber) return nullptr;
    return std::make_unique<ScriptedDevice>(disk);
  }
};

// An answer sector with the RAID signatures and a status byte.
inline Sector SignedAnswer(std::uint8_t status, ControllerKind kind = ControllerKind::Raid) {
  Sector sector{};
  WriteSignatures(sector, kind);
  sector[kResponseStatusOffset] = status;
  return sector;
}

}  // namespace rur::test
