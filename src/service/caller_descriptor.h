// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Descriptors a caller hands the service: checked for what they are and used as they are, never
// reopened by name, so the service reads or writes only what the caller itself could.

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/firmware_image.h"

namespace rur::service {

// An image to read: open for reading and a regular file; otherwise why not.
std::optional<std::string> RefuseImageDescriptor(int fd);
// A backup's destination: open for writing, and a regular file or a pipe; otherwise why not.
std::optional<std::string> RefuseBackupDescriptor(int fd);

// The image through the caller's descriptor, read at offsets (the descriptor's own position is
// left alone).
class DescriptorImageReader final : public ImageFileReader {
 public:
  explicit DescriptorImageReader(int fd) : fd_(fd) {}
  std::optional<std::uint64_t> Open(const std::string& path) override;
  std::string OpenError() const override { return error_; }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) override;
  void Close() override {}

 private:
  int fd_;
  std::string error_;
};

// Writes `size` bytes to `fd` without ever blocking on a reader that stops: each piece waits for
// room at most `silenceMs`. False with the reason when it cannot.
bool WriteWithoutBlocking(int fd, const std::uint8_t* bytes, std::size_t size, int silenceMs, std::string& error);

}  // namespace rur::service
