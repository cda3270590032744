// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/firmware_image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/read_only_file.h"

namespace rur {
namespace {

constexpr const char* kErrorCaption = "Error";
constexpr std::uint8_t kErasedImageByte = 0xFF;  // what erased flash reads as
constexpr std::uint8_t kZeroImageByte = 0x00;    // what a file padded with zeros holds

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

std::string Hex(std::uint32_t value, const char* format) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The two product codes of one family take each other's images.
bool IsSharedFamily(std::array<std::uint8_t, 2> code) {
  return code[0] == 0x27 && (code[1] == 0x60 || code[1] == 0x70);
}

void Refuse(FirmwareImage& image, Ui& ui, const std::string& text) {
  ui.messageBox(text, kErrorCaption, MessageKind::Error);
  image.Release();
}

}  // namespace

bool HasImageHeader(const std::uint8_t* bytes) {
  return std::equal(kImageGuid.begin(), kImageGuid.end(), bytes + image_offset::kGuid) &&
         std::equal(kImageSignature.begin(), kImageSignature.end(), bytes + image_offset::kSignature,
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

bool ImageCarriesCode(const std::uint8_t* bytes, std::uint32_t length) {
  if (length <= image_offset::kHeaderEnd) return false;
  const std::uint8_t* code = bytes + image_offset::kHeaderEnd;
  const std::uint8_t* end = bytes + length;
  const auto allAre = [&](std::uint8_t value) {
    return std::all_of(code, end, [value](std::uint8_t b) { return b == value; });
  };
  return !allAre(kErasedImageByte) && !allAre(kZeroImageByte);
}

std::uint32_t FirmwareImageVersion(const FirmwareImage& image) {
  if (image.bytes.size() < image_offset::kVersion + sizeof(std::uint32_t)) return 0;
  return BigEndian32(image.bytes.data() + image_offset::kVersion);
}

std::uint32_t DeviceFirmwareVersion(const IdentifyBlock& identify) {
  return BigEndian32(identify.data() + identify_offset::kFirmwareVersion);
}

bool ProductAccepts(std::array<std::uint8_t, 2> deviceCode, std::uint32_t deviceVersion,
                    std::array<std::uint8_t, 2> imageCode, std::uint32_t imageVersion) {
  if (deviceVersion <= kProductCodeVersion || imageVersion <= kProductCodeVersion) return true;
  if (IsSharedFamily(deviceCode)) return IsSharedFamily(imageCode);
  return deviceCode == imageCode;
}

std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += data[i];
  return sum;
}

std::optional<std::uint64_t> PosixImageFileReader::Open(const std::string& path) {
  Close();
  std::uint64_t size = 0;
  fd_ = OpenRegularFileForReading(path, size, openError_);
  if (fd_ < 0) return std::nullopt;
  return size;
}

std::size_t PosixImageFileReader::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  return fd_ < 0 ? 0 : ReadFileAt(fd_, offset, out, count);
}

void PosixImageFileReader::Close() {
  if (fd_ >= 0) CloseReadOnlyFile(fd_);
  fd_ = -1;
}

bool LoadFirmwareImage(const std::string& path, FirmwareImage& image, const UpgradeDeviceFacts& device, Ui& ui,
                       ImageFileReader& reader) {
  ui.firmwareFile(path);
  ui.panel(4, "File:" + path);
  image.Release();

  const std::optional<std::uint64_t> size = reader.Open(path);
  if (!size) {
    const std::string reason = reader.OpenError();
    ui.messageBox(reason.empty() ? "Fail to open firmware file" : "Fail to open firmware file: " + reason,
                  kErrorCaption, MessageKind::Error);
    return false;
  }
  // Refused before anything is read: a short file has no header to check, and a long one could
  // not be erased and programmed without the 16-bit block numbers wrapping onto the flash start.
  if (*size < image_offset::kHeaderEnd) {
    reader.Close();
    Refuse(image, ui,
           "The firmware file is too short to hold a firmware header (" + std::to_string(*size) +
               " bytes).\nPlease check it.");
    return false;
  }
  if (*size > kMaxImageLength) {
    reader.Close();
    Refuse(image, ui,
           "The firmware file is too large for the controller's flash (" + std::to_string(*size) +
               " bytes, it must be below 8 MiB).\nPlease check it.");
    return false;
  }

  const auto length = static_cast<std::uint32_t>(*size);
  const std::size_t padded = (length + kImageBlockSize - 1) / kImageBlockSize * kImageBlockSize;
  image.bytes.assign(padded, kErasedImageByte);

  std::uint32_t offset = 0;
  unsigned failures = 0;
  while (offset < length) {
    const std::size_t got = reader.ReadAt(offset, image.bytes.data() + offset, length - offset);
    if (got > 0) {
      offset += static_cast<std::uint32_t>(std::min<std::size_t>(got, length - offset));
      failures = 0;
      continue;
    }
    ui.messageBox("Error read from Source file. ByteCount = " + std::to_string(offset), "Warning:", MessageKind::Error);
    if (++failures >= kImageReadAttempts) {
      reader.Close();
      Refuse(image, ui, "Fail to read firmware file");
      return false;
    }
  }
  reader.Close();

  image.length = length;
  image.checksum = ImageChecksum(image.bytes.data(), length);
  ui.panel(0, "Chksum:" + Hex(image.checksum, "%08X"));

  const std::uint8_t* header = image.bytes.data();
  if (!std::equal(kImageGuid.begin(), kImageGuid.end(), header + image_offset::kGuid)) {
    Refuse(image, ui, "Threr are GUID error in the firmware file.\nPlease check it.");
    return false;
  }
  if (!std::equal(kImageSignature.begin(), kImageSignature.end(), header + image_offset::kSignature,
                  [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
    Refuse(image, ui, "Threr are METADATA_SINGATURE error in the firmware file.\nPlease check it.");
    return false;
  }
  // Refused before anything is erased: the controller would start from a header with no code.
  if (!ImageCarriesCode(header, length)) {
    Refuse(
        image, ui,
        length <= image_offset::kHeaderEnd
            ? "The firmware file holds a header and no code (" + std::to_string(length) + " bytes).\nPlease check it."
            : "The firmware file holds no code after its header: every byte after it is " +
                  std::string(header[image_offset::kHeaderEnd] == kZeroImageByte ? "00" : "FF") +
                  ".\nPlease check it.");
    return false;
  }
  // A port-multiplier controller reports no usable version or product code.
  if (device.controllerKind == ControllerKind::Raid) {
    const std::uint32_t deviceVersion = DeviceFirmwareVersion(device.identify);
    const std::uint32_t imageVersion = BigEndian32(header + image_offset::kVersion);
    ui.panel(2, "F:" + Hex(deviceVersion, "%X"));
    ui.panel(3, "C:" + Hex(imageVersion, "%X"));
    const std::array<std::uint8_t, 2> deviceCode{device.identify[identify_offset::kProductCode],
                                                 device.identify[identify_offset::kProductCode + 1]};
    const std::array<std::uint8_t, 2> imageCode{header[image_offset::kProductCode],
                                                header[image_offset::kProductCode + 1]};
    if (!ProductAccepts(deviceCode, deviceVersion, imageCode, imageVersion)) {
      Refuse(image, ui, "The firmware is not for this product.\nPlease check it.");
      return false;
    }
  }
  return true;
}

bool LoadFirmwareImage(const std::string& path, FirmwareImage& image, const UpgradeDeviceFacts& device, Ui& ui) {
  PosixImageFileReader reader;
  return LoadFirmwareImage(path, image, device, ui, reader);
}

}  // namespace rur
