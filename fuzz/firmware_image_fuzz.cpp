// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware image files come from anywhere: loading one must refuse what is not an image for the
// picked device and never read outside the file. The first input byte picks the device's traits
// (controller kind, whether reads fail), the next six its firmware version and product code as
// detection keeps them; the rest is the file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "firmware/firmware_image.h"

namespace {

using namespace rur;

constexpr std::size_t kTraitBytes = 7;

// The file in memory; reads may fail now and then as a flaky disk's would.
class MemoryFile final : public ImageFileReader {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size, bool flaky) : data_(data), size_(size), flaky_(flaky) {}
  std::optional<std::uint64_t> Open(const std::string&) override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) override {
    if (offset > size_) std::abort();  // the loader asked past the end it was told
    if (flaky_ && (reads_++ % 3) != 2) return 0;
    // Short reads, so the loader has to go on where the last read stopped.
    const std::size_t given = std::min<std::size_t>({count, size_ - static_cast<std::size_t>(offset), 4096});
    std::copy_n(data_ + offset, given, out);
    return given;
  }
  void Close() override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool flaky_;
  unsigned reads_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kTraitBytes) return 0;
  UpgradeDeviceFacts device;
  device.controllerKind = (data[0] & 1) ? ControllerKind::PortMultiplier : ControllerKind::Raid;
  const bool flaky = (data[0] & 2) != 0;
  std::copy_n(data + 1, 4, device.identify.begin() + identify_offset::kFirmwareVersion);
  std::copy_n(data + 5, 2, device.identify.begin() + identify_offset::kProductCode);

  const std::uint8_t* file = data + kTraitBytes;
  const std::size_t length = size - kTraitBytes;
  MemoryFile reader(file, length, flaky);
  FirmwareImage image;
  Ui ui;
  const bool loaded = LoadFirmwareImage("fuzzed.bin", image, device, ui, reader);

  if (loaded != image.loaded()) std::abort();
  if (!loaded) {
    if (!image.bytes.empty() || image.length != 0) std::abort();  // a refused file leaves nothing behind
    return 0;
  }
  // What is held is the file exactly, padded with erased flash to whole 128-byte blocks.
  if (image.length != length || image.bytes.size() % kImageBlockSize != 0 || image.bytes.size() < length ||
      image.bytes.size() - length >= kImageBlockSize)
    std::abort();
  if (!std::equal(file, file + length, image.bytes.begin())) std::abort();
  if (std::any_of(image.bytes.begin() + static_cast<std::ptrdiff_t>(length), image.bytes.end(),
                  [](std::uint8_t b) { return b != 0xFF; }))
    std::abort();
  if (image.checksum != ImageChecksum(file, length)) std::abort();
  return 0;
}
