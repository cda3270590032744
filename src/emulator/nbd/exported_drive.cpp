// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/nbd/exported_drive.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "transport/command_frame.h"
#include "transport/pass_through.h"

namespace rur::sim {
namespace {

constexpr std::uint8_t kOpWrite10 = 0x2A;
constexpr std::uint32_t kMaxReadLba = 0xFFFFFFFF;
// The host records every request; a server that runs for hours must not keep them all.
constexpr std::size_t kRequestsKept = 100000;

ScsiRequest MakeRequest(std::uint8_t operation, std::uint64_t lba, std::uint32_t count, std::uint8_t* buffer) {
  ScsiRequest request;
  request.cdb[0] = operation;
  request.cdb[2] = static_cast<std::uint8_t>(lba >> 24);
  request.cdb[3] = static_cast<std::uint8_t>(lba >> 16);
  request.cdb[4] = static_cast<std::uint8_t>(lba >> 8);
  request.cdb[5] = static_cast<std::uint8_t>(lba);
  request.cdb[7] = static_cast<std::uint8_t>(count >> 8);
  request.cdb[8] = static_cast<std::uint8_t>(count);
  request.buffer = buffer;
  request.transferLength = count * static_cast<std::uint32_t>(kSectorSize);
  request.timeoutMs = kReadTimeoutMs;
  return request;
}

}  // namespace

ExportedDrive::ExportedDrive(SimulatedHost& host, unsigned drive) : host_(host), drive_(drive) {
  SimulatedController* controller = host_.controller(drive_);
  sectors_ = controller ? controller->capacity() : kPlainDiskSectors;
}

bool ExportedDrive::setDiskImage(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read the disk image " + path;
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() > sizeBytes()) {
    error = "the disk image " + path + " is larger than the drive";
    return false;
  }
  image_ = std::move(bytes);
  return true;
}

void ExportedDrive::LayImage(std::uint64_t lba, std::uint32_t count, std::uint8_t* out) const {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t sector = lba + i;
    // The answer sector belongs to the controller whatever the array holds there.
    if (sector == kResponseLba) continue;
    const std::uint64_t start = sector * kSectorSize;
    if (start >= image_.size()) break;
    const std::size_t length = std::min<std::size_t>(kSectorSize, image_.size() - start);
    std::uint8_t* target = out + std::size_t{i} * kSectorSize;
    std::memcpy(target, image_.data() + start, length);
    std::memset(target + length, 0, kSectorSize - length);
  }
}

bool ExportedDrive::ReadSectors(std::uint64_t lba, std::uint32_t count, std::uint8_t* out) {
  while (count > 0) {
    const std::uint32_t chunk = std::min(count, kMaxSectorsPerRead);
    if (lba > kMaxReadLba) return false;
    const ScsiRequest request = MakeRequest(kOpRead10, lba, chunk, out);
    ++counters_.reads;
    counters_.sectorsRead += chunk;
    if (chunk == 1) ++counters_.singleSectorReads;
    const bool completed = host_.Serve(drive_, request);
    ForgetRequests();
    if (!completed) {
      ++counters_.failedReads;
      return false;
    }
    LayImage(lba, chunk, out);
    lba += chunk;
    count -= chunk;
    out += std::size_t{chunk} * kSectorSize;
  }
  return true;
}

bool ExportedDrive::Read(std::uint8_t* out, std::uint32_t length, std::uint64_t offset) {
  if (length == 0) return true;
  if (offset > sizeBytes() || length > sizeBytes() - offset) return false;
  const std::uint64_t first = offset / kSectorSize;
  const std::uint64_t last = (offset + length - 1) / kSectorSize;
  const auto count = static_cast<std::uint32_t>(last - first + 1);
  if (offset % kSectorSize == 0 && length % kSectorSize == 0) return ReadSectors(first, count, out);
  // A range that starts or ends inside a sector: the disk is read whole sectors at a time.
  std::vector<std::uint8_t> sectors(std::size_t{count} * kSectorSize);
  if (!ReadSectors(first, count, sectors.data())) return false;
  std::memcpy(out, sectors.data() + offset % kSectorSize, length);
  return true;
}

bool ExportedDrive::Write(std::uint32_t length, std::uint64_t offset) {
  ++counters_.refusedWrites;
  const std::uint64_t lba = offset / kSectorSize;
  const auto count =
      static_cast<std::uint32_t>(std::min<std::uint64_t>((length + kSectorSize - 1) / kSectorSize, kMaxSectorsPerRead));
  // The drive sees the request as a host would send it, and refuses it: no data goes anywhere.
  std::vector<std::uint8_t> ignored(std::size_t{std::max(count, 1u)} * kSectorSize);
  host_.Serve(drive_, MakeRequest(kOpWrite10, std::min<std::uint64_t>(lba, kMaxReadLba), count, ignored.data()));
  ForgetRequests();
  return false;
}

void ExportedDrive::ForgetRequests() {
  if (host_.requests().size() < kRequestsKept) return;
  refusedBefore_ += host_.refusedRequests();
  host_.clearRequests();
}

ExportedDrive::Counters ExportedDrive::counters() const {
  Counters result = counters_;
  result.refusedRequests = refusedBefore_ + host_.refusedRequests();
  return result;
}

}  // namespace rur::sim
