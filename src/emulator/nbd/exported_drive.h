// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One simulated drive as a byte-addressed disk for a block-device server (NBD). A virtual
// machine's SCSI disk then reaches the simulated controller the way a host's disk reaches a
// real enclosure: every byte range read becomes the READ(10) requests the host would send, so
// the guest kernel's own reads (partition scans, file systems) reach the controller as well.
//
// An optional disk image stands for what the array holds (a partition table, a file system):
// its sectors replace the simulated disk data, except the answer sector, which is always the
// controller's. Writes are never carried out: each one is handed to the simulated drive as the
// WRITE(10) it would be, which the drive refuses and counts, and is failed.

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/simulated_host.h"

namespace rur::sim {

class ExportedDrive {
 public:
  // Size of a plain disk, which the scenario gives none (the size of a 1 TB member).
  static constexpr std::uint64_t kPlainDiskSectors = 1953525168;
  // The most sectors one READ(10) can carry; longer ranges are split.
  static constexpr std::uint32_t kMaxSectorsPerRead = 0xFFFF;

  ExportedDrive(SimulatedHost& host, unsigned drive);

  // Lays the image over the start of the disk; false (with a message) when it cannot be read
  // or is larger than the disk.
  bool setDiskImage(const std::string& path, std::string& error);

  std::uint64_t sizeBytes() const { return sectors_ * kSectorSize; }
  // Serves [offset, offset + length); the range may start and end inside a sector.
  // False when the drive did not complete a request (unplugged, a transport fault) or the
  // range lies beyond the disk.
  bool Read(std::uint8_t* out, std::uint32_t length, std::uint64_t offset);
  // Always false: the drive is shown the write and refuses it.
  bool Write(std::uint32_t length, std::uint64_t offset);

  struct Counters {
    std::uint64_t reads = 0;  // READ(10) requests sent to the drive
    std::uint64_t sectorsRead = 0;
    std::uint64_t singleSectorReads = 0;
    std::uint64_t failedReads = 0;
    std::uint64_t refusedWrites = 0;    // writes the server was asked for
    std::uint64_t refusedRequests = 0;  // requests the simulated drive refused (should equal the above)
  };
  Counters counters() const;

 private:
  bool ReadSectors(std::uint64_t lba, std::uint32_t count, std::uint8_t* out);
  void LayImage(std::uint64_t lba, std::uint32_t count, std::uint8_t* out) const;
  void ForgetRequests();

  SimulatedHost& host_;
  unsigned drive_;
  std::uint64_t sectors_;
  std::vector<std::uint8_t> image_;
  Counters counters_;
  std::uint64_t refusedBefore_ = 0;  // refusals counted by the host before its list was last cleared
};

}  // namespace rur::sim
