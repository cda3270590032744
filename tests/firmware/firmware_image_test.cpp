// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "firmware/firmware_image.h"
#include "firmware_test_support.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

using test::MakeImage;

struct FirmwareImageTest : ::testing::Test {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("rur-image-" + std::to_string(::getpid()));
  test::RecordingUi ui;
  FirmwareImage image;
  UpgradeDeviceFacts device = test::DeviceFacts(0x14010100, 0x27, 0x60);

  FirmwareImageTest() { std::filesystem::create_directories(dir); }
  ~FirmwareImageTest() override { std::filesystem::remove_all(dir); }

  std::string Write(const std::vector<std::uint8_t>& bytes) {
    const auto path = (dir / "fw.bin").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  bool Load(const std::vector<std::uint8_t>& bytes) {
    ui.boxes.clear();
    return LoadFirmwareImage(Write(bytes), image, device, ui);
  }
  std::string OnlyBox() {
    return ui.boxes.size() == 1 ? ui.boxes[0].text : "boxes: " + std::to_string(ui.boxes.size());
  }
};

TEST_F(FirmwareImageTest, AcceptedImageIsHeldPaddedWithErasedBytes) {
  const auto bytes = MakeImage({.length = 40000});
  ASSERT_TRUE(Load(bytes));
  ASSERT_EQ(image.bytes.size(), 40064u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.bytes.begin()));
  EXPECT_TRUE(std::all_of(image.bytes.begin() + 40000, image.bytes.end(), [](auto b) { return b == 0xFF; }));
  EXPECT_EQ(ui.panels[4], "File:" + (dir / "fw.bin").string());
  EXPECT_EQ(ui.panels[2], "F:14010100");
  EXPECT_EQ(ui.panels[3], "C:14010100");

  auto spoiled = bytes;
  spoiled[0x80] = 'X';
  EXPECT_FALSE(Load(spoiled));
  EXPECT_FALSE(image.loaded());  // a good image is gone after a failed load
}

TEST_F(FirmwareImageTest, ChecksumIsShownEvenForARefusedFile) {
  std::vector<std::uint8_t> bytes(65536, 0);
  for (std::size_t at : {10, 30000, 40000, 50000, 65535}) bytes[at] = 244;  // 1220
  bytes[60000] = 14;
  EXPECT_FALSE(Load(bytes));
  EXPECT_EQ(ui.panels[0], "Chksum:000004D2");
}

TEST_F(FirmwareImageTest, ForeignFilesAreRefusedWithTheFirstFailingCheck) {
  const std::string guidError = "Threr are GUID error in the firmware file.\nPlease check it.";
  const std::string guidText = "{AE166DEF-6FDC-474C-9BA4-B6AAE4B69A84}";
  const std::uint8_t bigEndianGuid[16] = {0xAE, 0x16, 0x6D, 0xEF, 0x6F, 0xDC, 0x47, 0x4C,
                                          0x9B, 0xA4, 0xB6, 0xAA, 0xE4, 0xB6, 0x9A, 0x84};
  struct Case {
    std::function<void(std::vector<std::uint8_t>&)> spoil;
    std::string message;
  } cases[] = {
      {[&](auto& b) { std::copy(guidText.begin(), guidText.end(), b.begin() + 0x84); }, guidError},
      {[&](auto& b) { std::copy(bigEndianGuid, bigEndianGuid + 16, b.begin() + 0x84); }, guidError},
      {[](auto& b) { b[0x83] = 'B'; }, "Threr are METADATA_SINGATURE error in the firmware file.\nPlease check it."},
      {[](auto& b) {
         b[0x80] = 0;
         b[0x90] ^= 1;
       },
       guidError},
      {[](auto& b) { b[0xA1] = 0x50; }, "The firmware is not for this product.\nPlease check it."},
  };
  for (const Case& c : cases) {
    auto bytes = MakeImage({.length = 8192});
    c.spoil(bytes);
    EXPECT_FALSE(Load(bytes));
    EXPECT_TRUE(image.bytes.empty());
    EXPECT_EQ(OnlyBox(), c.message);
    EXPECT_EQ(ui.boxes[0].caption, "Error");
  }
  // A port-multiplier controller is not asked for a product code.
  device.controllerKind = ControllerKind::PortMultiplier;
  ui.panelTexts[2].clear();
  EXPECT_TRUE(Load(MakeImage({.length = 4096, .productCode = {0x05, 0x00}})));
  EXPECT_TRUE(ui.panelTexts[2].empty());
}

TEST(FirmwareProductCheck, CodesAndVersionThreshold) {
  struct Case {
    std::array<std::uint8_t, 2> device;
    std::uint32_t deviceVersion;
    std::array<std::uint8_t, 2> image;
    std::uint32_t imageVersion;
    bool accepted;
  } cases[] = {
      {{0x27, 0x60}, 0x14000000, {0x27, 0x70}, 0x14000000, true},
      {{0x27, 0x70}, 0x14000000, {0x27, 0x60}, 0x14000000, true},
      {{0x27, 0x60}, 0x14000000, {0x27, 0x50}, 0x14000000, false},
      {{0x27, 0x60}, 0x14000000, {0x28, 0x60}, 0x14000000, false},
      {{0x27, 0x50}, 0x14000000, {0x27, 0x60}, 0x14000000, false},
      {{0x05, 0x00}, 0x14000000, {0x05, 0x00}, 0x14000000, true},
      {{0x05, 0x00}, 0x14000000, {0x05, 0x01}, 0x14000000, false},
      {{0x05, 0x00}, 0x13122500, {0x99, 0x99}, 0x14000000, true},  // the threshold is exclusive
      {{0x05, 0x00}, 0x14000000, {0x99, 0x99}, 0x13122500, true},
      {{0x05, 0x00}, 0x13122501, {0x99, 0x99}, 0x13122501, false},
      {{0x05, 0x00}, 0xF0000000, {0x99, 0x99}, 0xF0000000, false},  // compared unsigned
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProductAccepts(c.device, c.deviceVersion, c.image, c.imageVersion), c.accepted)
        << std::hex << int(c.device[1]) << " v" << c.deviceVersion << " / " << int(c.image[0]) << ' ' << int(c.image[1])
        << " v" << c.imageVersion;
}

TEST_F(FirmwareImageTest, FilesThatCannotBeImagesAreRefusedBeforeReading) {
  const std::pair<std::size_t, const char*> cases[] = {{100, "The firmware file is too short"},
                                                       {161, "The firmware file is too short"},
                                                       {0, "The firmware file is too short"},
                                                       {9u << 20, "The firmware file is too large"},
                                                       {8u << 20, "The firmware file is too large"}};
  for (const auto& [length, start] : cases) {
    ui.panelTexts[0].clear();
    EXPECT_FALSE(Load(MakeImage({.length = static_cast<std::uint32_t>(length)}))) << length;
    EXPECT_EQ(OnlyBox().rfind(start, 0), 0u) << length << ": " << OnlyBox();
    EXPECT_TRUE(ui.panelTexts[0].empty()) << length;  // no checksum: nothing was read
  }

  // An image must carry code after its header: a header alone, or one followed only by erased or
  // zero bytes, would leave the controller nothing to run.
  const auto blankAfterHeader = [](std::uint8_t value) {
    auto bytes = MakeImage({.length = 8192});
    std::fill(bytes.begin() + image_offset::kHeaderEnd, bytes.end(), value);
    return bytes;
  };
  const std::pair<std::vector<std::uint8_t>, const char*> codeCases[] = {
      {MakeImage({.length = 162}), "The firmware file holds a header and no code (162 bytes)."},
      {blankAfterHeader(0xFF), "The firmware file holds no code after its header: every byte after it is FF."},
      {blankAfterHeader(0x00), "The firmware file holds no code after its header: every byte after it is 00."},
      {MakeImage({.length = 163}), nullptr},
  };
  for (const auto& [bytes, refusal] : codeCases) {
    SCOPED_TRACE(bytes.size());
    EXPECT_EQ(Load(bytes), refusal == nullptr);
    if (refusal) {
      EXPECT_EQ(OnlyBox().rfind(refusal, 0), 0u) << OnlyBox();
    }
  }

  // The reason goes with the refusal.
  EXPECT_FALSE(LoadFirmwareImage((dir / "missing.bin").string(), image, device, ui));
  EXPECT_EQ(ui.boxes.back().text, "Fail to open firmware file: No such file or directory");
  EXPECT_FALSE(LoadFirmwareImage(dir.string(), image, device, ui));
  EXPECT_EQ(ui.boxes.back().text, "Fail to open firmware file: it is a folder");
}

// A file whose reads at one offset fail a number of times (-1: always).
struct FlakyReader final : ImageFileReader {
  std::vector<std::uint8_t> content = MakeImage({.length = 10000});
  int failuresLeft = 0;
  std::optional<std::uint64_t> Open(const std::string&) override { return content.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) override {
    const std::size_t n = offset < 4096 ? 4096 - offset : failuresLeft-- != 0 ? 0 : count;
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(offset), n, out);
    return n;
  }
  void Close() override {}
};

TEST_F(FirmwareImageTest, ReadErrorsAreRetriedBoundedly) {
  FlakyReader reader;
  reader.failuresLeft = 1;
  EXPECT_TRUE(LoadFirmwareImage("flaky.bin", image, device, ui, reader));
  EXPECT_EQ(OnlyBox(), "Error read from Source file. ByteCount = 4096");
  EXPECT_EQ(ui.boxes[0].caption, "Warning:");
  EXPECT_TRUE(std::equal(reader.content.begin(), reader.content.end(), image.bytes.begin()));

  ui.boxes.clear();
  reader.failuresLeft = -1;
  EXPECT_FALSE(LoadFirmwareImage("flaky.bin", image, device, ui, reader));
  EXPECT_FALSE(image.loaded());
  ASSERT_EQ(ui.boxes.size(), kImageReadAttempts + 1);
  EXPECT_EQ(ui.boxes.back().text, "Fail to read firmware file");
}

}  // namespace
}  // namespace rur
