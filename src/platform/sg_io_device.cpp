// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sg_io_device.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

namespace rur {
namespace {

constexpr unsigned char kSenseLength = 24;
// Driver status "sense data available": the device answered with CHECK CONDITION, which still
// counts as a completed request.
constexpr unsigned kDriverSense = 0x08;
constexpr unsigned kDriverByteMask = 0x0F;

}  // namespace

DeviceHandle SgIoDevice::Open(const std::string& path) {
  // READ(10) and INQUIRY are allowed on a read-only descriptor, so no write access is asked for.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return DeviceHandle(new SgIoDevice(fd));
}

DeviceHandle SgIoDevice::Adopt(int fd) {
  if (fd < 0) return nullptr;
  return DeviceHandle(new SgIoDevice(fd));
}

SgIoDevice::~SgIoDevice() { ::close(fd_); }

bool SgIoDevice::Execute(const ScsiRequest& request) {
  unsigned char cdb[10];
  std::memcpy(cdb, request.cdb.data(), sizeof cdb);
  unsigned char sense[kSenseLength] = {};
  sg_io_hdr_t header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  header.dxfer_direction = SG_DXFER_FROM_DEV;
  header.cmd_len = sizeof cdb;
  header.cmdp = cdb;
  header.mx_sb_len = kSenseLength;
  header.sbp = sense;
  header.dxfer_len = request.transferLength;
  header.dxferp = request.buffer;
  header.timeout = request.timeoutMs;
  if (::ioctl(fd_, SG_IO, &header) != 0) return false;
  if (header.host_status != 0) return false;
  return ((header.driver_status & kDriverByteMask) & ~kDriverSense) == 0;
}

}  // namespace rur
