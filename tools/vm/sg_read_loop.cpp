// SPDX-License-Identifier: GPL-3.0-or-later
// What the program's way of reading a sector costs against the least a program can do: single-sector
// READ(10) requests to one disk, once through the program's transport (SgIoDevice::Execute reached
// through ReadSectors, as every controller command's reads are) and once as a bare SG_IO loop that
// builds its request once and only repeats the ioctl.
//
//   rur-sg-read-loop DEVICE [--lba N] [--reads N] [--runs N]
//
// Within each run the two sides take turns every 50 reads (and go first in turn), so a machine that
// slows down or speeds up meanwhile touches both alike. Prints one line per run and then the medians:
//   run 1 bare_us=184.2 program_us=186.0 ratio=1.010
//   median bare_us=185.1 program_us=186.3 ratio=1.006
// (microseconds per read; the last ratio is the median of the runs' ratios). Both sides read into
// a buffer aligned to 512 bytes, so neither pays for the block layer's bounce copy alone. Exits 1 when a read fails.
// The LBA should lie outside everything the controller treats as a command (the virtual-machine test reads below its
// marker sectors).

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sg_io_device.h"
#include "transport/pass_through.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kStretch = 50;

double MicrosecondsPerRead(Clock::duration total, unsigned reads) {
  return std::chrono::duration<double, std::micro>(total).count() / reads;
}

// The bare loop: one descriptor, one request header filled once, nothing but the ioctl per read.
class BareLoop {
 public:
  BareLoop(int fd, std::uint32_t lba) : fd_(fd) {
    const unsigned char cdb[10] = {0x28,
                                   0,
                                   static_cast<unsigned char>(lba >> 24),
                                   static_cast<unsigned char>(lba >> 16),
                                   static_cast<unsigned char>(lba >> 8),
                                   static_cast<unsigned char>(lba),
                                   0,
                                   0,
                                   1,
                                   0};
    std::memcpy(cdb_, cdb, sizeof cdb_);
    std::memset(&header_, 0, sizeof header_);
    header_.interface_id = 'S';
    header_.dxfer_direction = SG_DXFER_FROM_DEV;
    header_.cmd_len = sizeof cdb_;
    header_.cmdp = cdb_;
    header_.mx_sb_len = sizeof sense_;
    header_.sbp = sense_;
    header_.dxfer_len = sizeof sector_;
    header_.dxferp = sector_;
    header_.timeout = 10000;
  }
  bool Read(unsigned reads) {
    for (unsigned i = 0; i < reads; ++i) {
      if (::ioctl(fd_, SG_IO, &header_) != 0 || header_.host_status != 0 || header_.status != 0) return false;
    }
    return true;
  }

 private:
  int fd_;
  unsigned char cdb_[10];
  alignas(512) unsigned char sector_[512];
  unsigned char sense_[32];
  sg_io_hdr_t header_;
};

// The program's way: the request made by MakeRead10Request and sent by SgIoDevice::Execute.
bool ProgramRead(rur::ScsiDevice& device, std::uint32_t lba, unsigned reads) {
  alignas(512) rur::Sector sector{};
  for (unsigned i = 0; i < reads; ++i) {
    if (!rur::ReadSectors(device, lba, sector.data(), 1)) return false;
  }
  return true;
}

// Times one stretch of reads, adding its duration to total.
template <typename Reads>
bool Timed(Reads reads, Clock::duration& total) {
  const auto start = Clock::now();
  const bool ok = reads();
  total += Clock::now() - start;
  return ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rur-sg-read-loop DEVICE [--lba N] [--reads N] [--runs N]\n");
    return 2;
  }
  const std::string path = argv[1];
  std::uint32_t lba = 1900000;
  unsigned reads = 1000, runs = 5;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const unsigned long value = std::strtoul(argv[i + 1], nullptr, 10);
    if (option == "--lba") {
      lba = static_cast<std::uint32_t>(value);
    } else if (option == "--reads" && value > 0) {
      reads = static_cast<unsigned>(value);
    } else if (option == "--runs" && value > 0) {
      runs = static_cast<unsigned>(value);
    } else {
      std::fprintf(stderr, "rur-sg-read-loop: bad option %s %s\n", argv[i], argv[i + 1]);
      return 2;
    }
  }

  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  rur::DeviceHandle device = rur::SgIoDevice::Open(path);
  if (fd < 0 || !device) {
    std::fprintf(stderr, "rur-sg-read-loop: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  BareLoop bareLoop(fd, lba);
  std::vector<double> bare, program, ratios;
  for (unsigned run = 1; run <= runs; ++run) {
    Clock::duration bareTime{}, programTime{};
    bool ok = true;
    // Each run's reads go in stretches, the two sides taking turns and going first in turn, so
    // another load on the machine falls on both alike.
    for (unsigned done = 0, turn = 0; ok && done < reads; done += kStretch, ++turn) {
      const unsigned count = std::min(kStretch, reads - done);
      const auto bareStretch = [&] { return Timed([&] { return bareLoop.Read(count); }, bareTime); };
      const auto programStretch = [&] { return Timed([&] { return ProgramRead(*device, lba, count); }, programTime); };
      ok = turn % 2 ? bareStretch() && programStretch() : programStretch() && bareStretch();
    }
    if (!ok) {
      std::fprintf(stderr, "rur-sg-read-loop: a read of LBA %u failed in run %u\n", lba, run);
      return 1;
    }
    const double bareUs = MicrosecondsPerRead(bareTime, reads), programUs = MicrosecondsPerRead(programTime, reads);
    bare.push_back(bareUs);
    program.push_back(programUs);
    ratios.push_back(programUs / bareUs);
    std::printf("run %u bare_us=%.1f program_us=%.1f ratio=%.3f\n", run, bareUs, programUs, programUs / bareUs);
  }
  // The ratio is the median of the runs' own ratios: each pairs two sides timed side by side.
  std::printf("median bare_us=%.1f program_us=%.1f ratio=%.3f\n", Median(bare), Median(program), Median(ratios));
  ::close(fd);
  return 0;
}
