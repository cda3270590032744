// SPDX-License-Identifier: GPL-3.0-or-later
// What the program's way of reading a sector costs against the least a program can do: single-sector
// READ(10) requests to one disk, once through the program's transport (SgIoDevice::Execute reached
// through ReadSectors, as every controller command's reads are) and once as a bare SG_IO loop that
// builds its request once and only repeats the ioctl.
//
//   rur-sg-read-loop DEVICE [--lba N] [--reads N] [--runs N]
//
// The two sides take turns run by run (and go first in turn), so a machine that slows down or speeds up meanwhile
// touches both alike. Prints one line per run and then the medians:
//   run 1 bare_us=184.2 program_us=186.0
//   median bare_us=185.1 program_us=186.3 ratio=1.006
// (microseconds per read). Exits 1 when a read fails. The LBA should lie outside everything the
// controller treats as a command (the virtual-machine test reads below its marker sectors).

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

double MicrosecondsPerRead(Clock::time_point start, Clock::time_point end, unsigned reads) {
  return std::chrono::duration<double, std::micro>(end - start).count() / reads;
}

// The bare loop: one descriptor, one request header filled once, nothing but the ioctl per read.
bool BareLoop(int fd, std::uint32_t lba, unsigned reads, double& usPerRead) {
  unsigned char cdb[10] = {0x28,
                           0,
                           static_cast<unsigned char>(lba >> 24),
                           static_cast<unsigned char>(lba >> 16),
                           static_cast<unsigned char>(lba >> 8),
                           static_cast<unsigned char>(lba),
                           0,
                           0,
                           1,
                           0};
  unsigned char sector[512];
  unsigned char sense[32];
  sg_io_hdr_t header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  header.dxfer_direction = SG_DXFER_FROM_DEV;
  header.cmd_len = sizeof cdb;
  header.cmdp = cdb;
  header.mx_sb_len = sizeof sense;
  header.sbp = sense;
  header.dxfer_len = sizeof sector;
  header.dxferp = sector;
  header.timeout = 10000;
  const auto start = Clock::now();
  for (unsigned i = 0; i < reads; ++i) {
    if (::ioctl(fd, SG_IO, &header) != 0 || header.host_status != 0 || header.status != 0) return false;
  }
  usPerRead = MicrosecondsPerRead(start, Clock::now(), reads);
  return true;
}

// The program's way: the request made by MakeRead10Request and sent by SgIoDevice::Execute.
bool ProgramLoop(rur::ScsiDevice& device, std::uint32_t lba, unsigned reads, double& usPerRead) {
  rur::Sector sector{};
  const auto start = Clock::now();
  for (unsigned i = 0; i < reads; ++i) {
    if (!rur::ReadSectors(device, lba, sector.data(), 1)) return false;
  }
  usPerRead = MicrosecondsPerRead(start, Clock::now(), reads);
  return true;
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
  std::vector<double> bare, program;
  for (unsigned run = 1; run <= runs; ++run) {
    double bareUs = 0, programUs = 0;
    // Which side goes first alternates too, so neither always meets the other's after-effects.
    const bool ok = run % 2 ? BareLoop(fd, lba, reads, bareUs) && ProgramLoop(*device, lba, reads, programUs)
                            : ProgramLoop(*device, lba, reads, programUs) && BareLoop(fd, lba, reads, bareUs);
    if (!ok) {
      std::fprintf(stderr, "rur-sg-read-loop: a read of LBA %u failed in run %u\n", lba, run);
      return 1;
    }
    bare.push_back(bareUs);
    program.push_back(programUs);
    std::printf("run %u bare_us=%.1f program_us=%.1f\n", run, bareUs, programUs);
  }
  const double bareMedian = Median(bare), programMedian = Median(program);
  std::printf("median bare_us=%.1f program_us=%.1f ratio=%.3f\n", bareMedian, programMedian,
              programMedian / bareMedian);
  ::close(fd);
  return 0;
}
