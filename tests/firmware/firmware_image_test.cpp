#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "firmware/firmware_image.h"
#include "firmware_test_support.h"

namespace rur {
namespace {

using test::DeviceFacts;
using test::ImageSpec;
using test::MakeImage;
using test::RecordingUi;

struct FirmwareImageTest : ::testing::Test {
  std::filesystem::path dir;
  RecordingUi ui;
  FirmwareImage image;
  UpgradeDeviceFacts device = DeviceFacts(0x14010100, 0x27, 0x60);

  FirmwareImageTest() {
    dir = std::filesystem::temp_directory_path() /
          ("rur-image-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  ~FirmwareImageTest() override { std::filesystem::remove_all(dir); }

  std::string Write(const std::vector<std::uint8_t>& bytes, const std::string& name = "fw.bin") {
    const auto path = (dir / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  bool Load(const std::vector<std::uint8_t>& bytes) { return LoadFirmwareImage(Write(bytes), image, device, ui); }
};

TEST_F(FirmwareImageTest, AcceptedImageIsHeldPaddedWithErasedBytes) {
  const auto bytes = MakeImage({.length = 40000});
  const std::string path = Write(bytes);
  ASSERT_TRUE(LoadFirmwareImage(path, image, device, ui));
  EXPECT_EQ(image.length, 40000u);
  ASSERT_EQ(image.bytes.size(), 40064u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.bytes.begin()));
  EXPECT_TRUE(std::all_of(image.bytes.begin() + 40000, image.bytes.end(), [](auto b) { return b == 0xFF; }));
  EXPECT_EQ(image.firmwareType(), 0x21);
  EXPECT_EQ(ui.lastPanel(4), "File:" + path);
  EXPECT_EQ(ui.files, std::vector<std::string>{path});
  EXPECT_EQ(ui.lastPanel(2), "F:14010100");
  EXPECT_EQ(ui.lastPanel(3), "C:14010100");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FirmwareImageTest, ChecksumIsShownBeforeAnyCheck) {
  std::vector<std::uint8_t> bytes(65536, 0);
  bytes[10] = 200;
  bytes[65535] = 255;
  bytes[30000] = 255;
  bytes[40000] = 255;
  bytes[50000] = 255;
  bytes[60000] = 14;  // 1234 in all
  EXPECT_FALSE(Load(bytes));
  EXPECT_EQ(ui.lastPanel(0), "Chksum:000004D2");
}

TEST_F(FirmwareImageTest, ForeignFilesAreRefusedWithTheFirstFailingCheck) {
  const std::string guidError = "Threr are GUID error in the firmware file.\nPlease check it.";
  const std::string signatureError = "Threr are METADATA_SINGATURE error in the firmware file.\nPlease check it.";
  const std::string productError = "The firmware is not for this product.\nPlease check it.";
  const std::string guidText = "{AE166DEF-6FDC-474C-9BA4-B6AAE4B69A84}";
  const std::uint8_t bigEndianGuid[16] = {0xAE, 0x16, 0x6D, 0xEF, 0x6F, 0xDC, 0x47, 0x4C,
                                          0x9B, 0xA4, 0xB6, 0xAA, 0xE4, 0xB6, 0x9A, 0x84};
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
    std::string message;
  } cases[] = {
      {"GUID as text", [&](auto& b) { std::copy(guidText.begin(), guidText.end(), b.begin() + 0x84); }, guidError},
      {"GUID byte-swapped", [&](auto& b) { std::copy(bigEndianGuid, bigEndianGuid + 16, b.begin() + 0x84); },
       guidError},
      {"signature", [](auto& b) { b[0x83] = 'B'; }, signatureError},
      {"GUID and signature", [](auto& b) { b[0x80] = 0; b[0x90] ^= 1; }, guidError},
      {"product code", [](auto& b) { b[0xA1] = 0x50; }, productError},
  };
  for (const Case& c : cases) {
    auto bytes = MakeImage({.length = 8192});
    c.spoil(bytes);
    ui.boxes.clear();
    EXPECT_FALSE(Load(bytes)) << c.what;
    EXPECT_FALSE(image.loaded()) << c.what;
    EXPECT_TRUE(image.bytes.empty()) << c.what;
    ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
    EXPECT_EQ(ui.boxes[0].text, c.message) << c.what;
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].kind, MessageKind::Error);
  }
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
      {{0x27, 0x60}, 0x14000000, {0x27, 0x60}, 0x14000000, true},
      {{0x27, 0x60}, 0x14000000, {0x27, 0x50}, 0x14000000, false},
      {{0x27, 0x60}, 0x14000000, {0x28, 0x60}, 0x14000000, false},
      {{0x27, 0x50}, 0x14000000, {0x27, 0x60}, 0x14000000, false},  // only 60/70 share images
      {{0x05, 0x00}, 0x14000000, {0x05, 0x00}, 0x14000000, true},
      {{0x05, 0x00}, 0x14000000, {0x05, 0x01}, 0x14000000, false},
      {{0x05, 0x00}, 0x13122500, {0x99, 0x99}, 0x14000000, true},  // the threshold itself does not count
      {{0x05, 0x00}, 0x14000000, {0x99, 0x99}, 0x13122500, true},
      {{0x05, 0x00}, 0x13122501, {0x99, 0x99}, 0x13122501, false},
      {{0x05, 0x00}, 0xF0000000, {0x99, 0x99}, 0xF0000000, false},  // compared unsigned
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProductAccepts(c.device, c.deviceVersion, c.image, c.imageVersion), c.accepted)
        << std::hex << int(c.device[0]) << ' ' << int(c.device[1]) << " v" << c.deviceVersion << " / "
        << int(c.image[0]) << ' ' << int(c.image[1]) << " v" << c.imageVersion;
}

TEST_F(FirmwareImageTest, PortMultiplierSkipsTheProductCheck) {
  device = DeviceFacts(0x14010100, 0x05, 0x00, ControllerKind::PortMultiplier);
  EXPECT_TRUE(Load(MakeImage({.length = 4096})));
  EXPECT_TRUE(ui.panelTexts[2].empty());
  EXPECT_TRUE(ui.panelTexts[3].empty());

  device.controllerKind = ControllerKind::Raid;
  EXPECT_FALSE(Load(MakeImage({.length = 4096})));
  EXPECT_EQ(ui.lastPanel(2), "F:14010100");
}

TEST_F(FirmwareImageTest, FilesThatCannotBeImagesAreRefusedBeforeReading) {
  struct Case {
    const char* what;
    std::size_t length;
    const char* messageStart;
  } cases[] = {
      {"100 bytes", 100, "The firmware file is too short"},
      {"one byte short of a header", 161, "The firmware file is too short"},
      {"empty", 0, "The firmware file is too short"},
      {"9 MiB", 9u << 20, "The firmware file is too large"},
      {"exactly 8 MiB", 8u << 20, "The firmware file is too large"},
  };
  for (const Case& c : cases) {
    auto bytes = MakeImage({.length = static_cast<std::uint32_t>(c.length)});
    ui.boxes.clear();
    ui.panelTexts[0].clear();
    EXPECT_FALSE(Load(bytes)) << c.what;
    ASSERT_EQ(ui.boxes.size(), 1u) << c.what;
    EXPECT_EQ(ui.boxes[0].text.rfind(c.messageStart, 0), 0u) << c.what << ": " << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_TRUE(ui.panelTexts[0].empty()) << c.what;  // nothing was read
  }
  // The shortest file that holds a header is taken.
  EXPECT_TRUE(Load(MakeImage({.length = 162})));
  EXPECT_EQ(image.bytes.size(), 256u);
}

TEST_F(FirmwareImageTest, FailedLoadLeavesNoImage) {
  ASSERT_TRUE(Load(MakeImage({.length = 4096})));
  ui.boxes.clear();
  EXPECT_FALSE(LoadFirmwareImage((dir / "missing.bin").string(), image, device, ui));
  EXPECT_FALSE(image.loaded());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Fail to open firmware file");

  ASSERT_TRUE(Load(MakeImage({.length = 4096})));
  EXPECT_FALSE(LoadFirmwareImage(dir.string(), image, device, ui));  // a directory is no file
  EXPECT_FALSE(image.loaded());
}

// A file whose reads fail at one offset a given number of times.
struct FlakyReader final : ImageFileReader {
  std::vector<std::uint8_t> content;
  std::uint64_t failAt = 0;
  int failuresLeft = 0;
  bool open = false;
  std::optional<std::uint64_t> Open(const std::string&) override {
    open = true;
    return content.size();
  }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) override {
    if (offset <= failAt && failAt < offset + count) {
      if (failuresLeft != 0) {
        --failuresLeft;
        const std::size_t before = static_cast<std::size_t>(failAt - offset);
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(offset), before, out);
        return before;  // a short read up to the bad byte; 0 once it is reached
      }
    }
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(offset), count, out);
    return count;
  }
  void Close() override { open = false; }
};

TEST_F(FirmwareImageTest, ReadErrorsAreRetriedBoundedly) {
  FlakyReader reader;
  reader.content = MakeImage({.length = 10000});
  reader.failAt = 4096;
  reader.failuresLeft = 2;  // short read to 4096, then one failure there, then fine
  EXPECT_TRUE(LoadFirmwareImage("flaky.bin", image, device, ui, reader));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Error read from Source file. ByteCount = 4096");
  EXPECT_EQ(ui.boxes[0].caption, "Warning:");
  EXPECT_TRUE(std::equal(reader.content.begin(), reader.content.end(), image.bytes.begin()));
  EXPECT_FALSE(reader.open);

  ui.boxes.clear();
  reader.failuresLeft = -1;  // never recovers
  EXPECT_FALSE(LoadFirmwareImage("flaky.bin", image, device, ui, reader));
  EXPECT_FALSE(image.loaded());
  ASSERT_EQ(ui.boxes.size(), kImageReadAttempts + 1);
  EXPECT_EQ(ui.boxes[kImageReadAttempts - 1].text, "Error read from Source file. ByteCount = 4096");
  EXPECT_EQ(ui.boxes.back().text, "Fail to read firmware file");
  EXPECT_FALSE(reader.open);
}

}  // namespace
}  // namespace rur
