// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "smart/dump_file.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

namespace fs = std::filesystem;

struct DumpFileTest : ::testing::Test {
  fs::path folder = fs::temp_directory_path() / ("rur-dump-" + std::to_string(::getpid()));
  test::RecordingUi ui;

  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  void Touch(const std::string& name) { std::ofstream(folder / name) << "old"; }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t FileCount() const { return std::distance(fs::directory_iterator(folder), fs::directory_iterator()); }
};

TEST_F(DumpFileTest, FirstDumpWritesThePagesOfTheFirstEnclosure) {
  SmartState state;
  state.store[0][0].data.fill(0x11);
  state.store[0][1].data.fill(0x22);
  state.store[0][0].thresholds.fill(0x33);
  state.store[0][1].thresholds.fill(0x44);
  state.store[1][0].data.fill(0x55);

  const SmartDumpPaths paths = DumpSmartPages(state, folder, ui);
  EXPECT_EQ(paths.data, folder / "dSMART00.bin");
  EXPECT_EQ(paths.thresholds, folder / "sSMART00.bin");
  EXPECT_EQ(Read(folder / "dSMART00.bin"), std::string(512, '\x11') + std::string(512, '\x22'));
  EXPECT_EQ(Read(folder / "sSMART00.bin"), std::string(512, '\x33') + std::string(512, '\x44'));
  EXPECT_EQ(FileCount(), 2u);  // no temporary file left behind
  EXPECT_EQ(ui.panels[4], "Svae File OK :" + (folder / "sSMART00.bin").string());
}

TEST_F(DumpFileTest, NamesAdvanceThroughDigitsThenLettersAndNeverReplaceAFile) {
  for (char c = '0'; c <= '9'; ++c) Touch(std::string("dSMART0") + c + ".bin");
  const std::uint8_t bytes[] = {1, 2, 3};
  EXPECT_EQ(WriteDumpFile(DumpKind::SmartData, bytes, 3, folder, ui), folder / "dSMART0A.bin");
  EXPECT_EQ(Read(folder / "dSMART0A.bin"), "\x01\x02\x03");
  EXPECT_EQ(Read(folder / "dSMART09.bin"), "old");

  // With every name of the data family taken nothing is written; the thresholds still find a name.
  for (char c = 'B'; c <= 'Z'; ++c) Touch(std::string("dSMART0") + c + ".bin");
  Touch("sSMART00.bin");
  const SmartDumpPaths paths = DumpSmartPages(SmartState{}, folder, ui);
  EXPECT_FALSE(paths.data);
  EXPECT_EQ(paths.thresholds, folder / "sSMART01.bin");
  ASSERT_EQ(ui.panelTexts[4].size(), 3u);
  EXPECT_EQ(ui.panelTexts[4][1], "Create File Error" + (folder / "dSMART0Z.bin").string());
  EXPECT_EQ(Read(folder / "dSMART0Z.bin"), "old");
  EXPECT_EQ(FileCount(), 36u + 2u);
}

TEST_F(DumpFileTest, FilesThatCannotBeCreatedOrWrittenWholeAreReported) {
  const std::uint8_t bytes[] = {7};
  EXPECT_FALSE(WriteDumpFile(DumpKind::SmartThresholds, bytes, 1, folder / "missing", ui));
  EXPECT_EQ(ui.boxes,
            (std::vector<test::RecordingUi::Box>{{"Fail to create file", "GetSPIFWInfo:", MessageKind::Error}}));

  // A file size limit stops the write half way, as a full disk would.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 600;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const SmartDumpPaths paths = DumpSmartPages(SmartState{}, folder, ui);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(paths.data || paths.thresholds);
  EXPECT_EQ(ui.boxes.size(), 3u);
  EXPECT_TRUE(ui.panelTexts[4].empty());  // a cut file is never reported as saved
  EXPECT_EQ(FileCount(), 0u);
}

}  // namespace
}  // namespace rur
