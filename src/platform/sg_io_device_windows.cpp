// SPDX-License-Identifier: GPL-3.0-or-later
// The SCSI pass-through of a Windows physical drive (\\.\PhysicalDriveN). Windows lets a
// pass-through request through only on a handle opened for reading and writing, but what is sent
// is still only the transport's READ(10) and INQUIRY, with data coming from the device.
#include <windows.h>

// After windows.h, which it builds on.
#include <winioctl.h>

// After winioctl.h, which defines the control codes.
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>

#include "platform/sg_io_device.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr unsigned char kSenseLength = 24;
constexpr unsigned kMsPerSecond = 1000;

struct PassThrough {
  SCSI_PASS_THROUGH_DIRECT request;
  ULONG alignment;  // keeps the sense buffer on its own boundary
  UCHAR sense[kSenseLength];
};

}  // namespace

DeviceHandle SgIoDevice::Open(const std::string& path) {
  const HANDLE device = ::CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return nullptr;
  // Kernel handles fit in 32 bits, which is what the descriptor field holds.
  return DeviceHandle(new SgIoDevice(HandleToLong(device)));
}

DeviceHandle SgIoDevice::Adopt(int fd) {
  if (fd < 0) return nullptr;
  return DeviceHandle(new SgIoDevice(fd));
}

SgIoDevice::~SgIoDevice() { ::CloseHandle(LongToHandle(fd_)); }

bool SgIoDevice::Execute(const ScsiRequest& request) {
  PassThrough block;
  std::memset(&block, 0, sizeof block);
  block.request.Length = sizeof block.request;
  block.request.CdbLength = static_cast<UCHAR>(request.cdb.size());
  block.request.DataIn = SCSI_IOCTL_DATA_IN;
  block.request.DataTransferLength = request.transferLength;
  block.request.DataBuffer = request.buffer;
  block.request.TimeOutValue = (request.timeoutMs + kMsPerSecond - 1) / kMsPerSecond;
  block.request.SenseInfoOffset = offsetof(PassThrough, sense);
  block.request.SenseInfoLength = kSenseLength;
  std::memcpy(block.request.Cdb, request.cdb.data(), request.cdb.size());
  DWORD returned = 0;
  // A CHECK CONDITION still counts as a completed request, as on Linux.
  return ::DeviceIoControl(LongToHandle(fd_), IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block,
                           sizeof block, &returned, nullptr) != FALSE;
}

}  // namespace rur
