// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A controller firmware image: the raw flash content from address 0, with a small header at fixed
// offsets. Loading checks that the file is one of ours and meant for the picked device.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/identify_block.h"
#include "platform/user_interface.h"
#include "transport/response_sector.h"

namespace rur {

namespace image_offset {
constexpr std::size_t kSignature = 0x80;     // 4 ASCII letters
constexpr std::size_t kGuid = 0x84;          // 16 bytes, standard GUID layout
constexpr std::size_t kFirmwareType = 0x95;  // compared with the device's flash byte before an upgrade
constexpr std::size_t kVersion = 0x9C;       // 32 bits, most significant byte first
constexpr std::size_t kProductCode = 0xA0;   // two bytes
constexpr std::size_t kHeaderEnd = 0xA2;     // every header field lies below this
}  // namespace image_offset

constexpr std::string_view kImageSignature = "QOVA";
// {AE166DEF-6FDC-474C-9BA4-B6AAE4B69A84}
constexpr std::array<std::uint8_t, 16> kImageGuid{0xEF, 0x6D, 0x16, 0xAE, 0xDC, 0x6F, 0x4C, 0x47,
                                                  0x9B, 0xA4, 0xB6, 0xAA, 0xE4, 0xB6, 0x9A, 0x84};
// Devices and images at or below this version predate product codes: any code is accepted.
constexpr std::uint32_t kProductCodeVersion = 0x13122500;
constexpr std::size_t kImageBlockSize = 128;
// Largest image whose erase extent still lies inside the 8 MiB that 16-bit block numbers reach.
constexpr std::uint32_t kMaxImageLength = 0x7FFFFF;
// Consecutive failed reads at one offset before a load gives up.
constexpr unsigned kImageReadAttempts = 3;

struct FirmwareImage {
  // The file's bytes, padded with FFh (erased flash) to a multiple of 128: the flash is programmed
  // in whole blocks, and the padding leaves the flash beyond the image erased.
  std::vector<std::uint8_t> bytes;
  std::uint32_t length = 0;  // 0: no image
  std::uint32_t checksum = 0;

  bool loaded() const { return length != 0; }
  std::uint8_t firmwareType() const { return loaded() ? bytes[image_offset::kFirmwareType] : 0; }
  void Release() {
    bytes.clear();
    bytes.shrink_to_fit();
    length = 0;
    checksum = 0;
  }
};

// What the product check needs to know of the device picked on the Upgrade page.
struct UpgradeDeviceFacts {
  ControllerKind controllerKind = ControllerKind::Raid;
  IdentifyBlock identify{};  // the copy taken when detection completed
};

// Whether bytes (at least kHeaderEnd of them) begin like an image: signature and GUID in place.
bool HasImageHeader(const std::uint8_t* bytes);
// Whether an image of length bytes carries code after its header: a file that ends with the
// header, or whose bytes after it are all erased (FFh) or all zero, would leave a controller
// with a valid header and nothing to run.
bool ImageCarriesCode(const std::uint8_t* bytes, std::uint32_t length);

// The device firmware version (identity bytes 46..49) and its product code (50..51).
std::uint32_t DeviceFirmwareVersion(const IdentifyBlock& identify);
// The version an image carries in its header.
std::uint32_t FirmwareImageVersion(const FirmwareImage& image);
// Whether a device with this code and version takes an image with that code and version.
bool ProductAccepts(std::array<std::uint8_t, 2> deviceCode, std::uint32_t deviceVersion,
                    std::array<std::uint8_t, 2> imageCode, std::uint32_t imageVersion);
std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t length);

// The file a load reads; tests stand in for it to make reads fail.
class ImageFileReader {
 public:
  virtual ~ImageFileReader() = default;
  // The file's length, or nothing when it cannot be opened as a regular file.
  virtual std::optional<std::uint64_t> Open(const std::string& path) = 0;
  // Why the last Open failed, as the user is told it ("No such file or directory").
  virtual std::string OpenError() const { return {}; }
  // Bytes delivered at offset (at most count); 0 when the read failed.
  virtual std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) = 0;
  virtual void Close() = 0;
};

class PosixImageFileReader final : public ImageFileReader {
 public:
  ~PosixImageFileReader() override { Close(); }
  std::optional<std::uint64_t> Open(const std::string& path) override;
  std::string OpenError() const override { return openError_; }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) override;
  void Close() override;

 private:
  int fd_ = -1;
  std::string openError_;
};

// Replaces image with the file at path when every check passes; a failed load leaves no image.
// Returns whether an image is held afterwards.
bool LoadFirmwareImage(const std::string& path, FirmwareImage& image, const UpgradeDeviceFacts& device, Ui& ui,
                       ImageFileReader& reader);
bool LoadFirmwareImage(const std::string& path, FirmwareImage& image, const UpgradeDeviceFacts& device, Ui& ui);

}  // namespace rur
