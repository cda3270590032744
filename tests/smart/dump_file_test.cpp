#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>

#include "smart/dump_file.h"

namespace rur {
namespace {

namespace fs = std::filesystem;

struct RecordingUi : Ui {
  std::vector<std::string> panels;
  std::vector<std::string> boxes;
  int pumps = 0;
  void panel(int index, const std::string& text) override {
    if (index == 4) panels.push_back(text);
  }
  void messageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    boxes.push_back(text + "|" + caption + (kind == MessageKind::Error ? "|error" : ""));
  }
  void pump() override { ++pumps; }
};

struct DumpFileTest : ::testing::Test {
  fs::path folder;
  RecordingUi ui;

  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("rur-dump-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  void Touch(const std::string& name, const std::string& content = "old") {
    std::ofstream(folder / name, std::ios::binary) << content;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(DumpFileTest, FirstDumpWritesBothFamiliesWithThePagesOfTheFirstEnclosure) {
  SmartState state;
  state.store[0][0].data.fill(0x11);
  state.store[0][1].data.fill(0x22);
  state.store[0][0].thresholds.fill(0x33);
  state.store[0][1].thresholds.fill(0x44);
  state.store[1][0].data.fill(0x55);  // the second enclosure is never dumped

  const SmartDumpPaths paths = DumpSmartPages(state, folder, ui);
  ASSERT_TRUE(paths.data && paths.thresholds);
  EXPECT_EQ(*paths.data, folder / "dSMART00.bin");
  EXPECT_EQ(*paths.thresholds, folder / "sSMART00.bin");
  EXPECT_EQ(Read(*paths.data), std::string(512, '\x11') + std::string(512, '\x22'));
  EXPECT_EQ(Read(*paths.thresholds), std::string(512, '\x33') + std::string(512, '\x44'));
  EXPECT_EQ(Names(), (std::vector<std::string>{"dSMART00.bin", "sSMART00.bin"}));  // no temporary left
  ASSERT_EQ(ui.panels.size(), 2u);
  EXPECT_EQ(ui.panels.back(), "Svae File OK :" + (folder / "sSMART00.bin").string());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DumpFileTest, NamesAdvanceThroughDigitsThenLettersAndNeverReplaceAFile) {
  for (char c = '0'; c <= '9'; ++c) Touch(std::string("dSMART0") + c + ".bin");
  const std::uint8_t bytes[] = {1, 2, 3};
  const auto path = WriteDumpFile(DumpKind::SmartData, bytes, sizeof bytes, folder, ui);
  ASSERT_TRUE(path);
  EXPECT_EQ(path->filename(), "dSMART0A.bin");
  EXPECT_EQ(Read(*path), std::string("\x01\x02\x03"));
  EXPECT_EQ(Read(folder / "dSMART09.bin"), "old");
  EXPECT_EQ(ui.pumps, 10);

  // Every name of the data family taken: nothing is written, the thresholds still find a name.
  for (char c = 'A'; c <= 'Z'; ++c) Touch(std::string("dSMART0") + c + ".bin");
  Touch("sSMART00.bin");
  const SmartDumpPaths paths = DumpSmartPages(SmartState{}, folder, ui);
  EXPECT_FALSE(paths.data);
  EXPECT_EQ(paths.thresholds, folder / "sSMART01.bin");
  ASSERT_EQ(ui.panels.size(), 3u);
  EXPECT_EQ(ui.panels[1], "Create File Error" + (folder / "dSMART0Z.bin").string());
  EXPECT_EQ(Read(folder / "dSMART0Z.bin"), "old");
  EXPECT_EQ(Names().size(), 36u + 2u);

  struct Step {
    char from;
    std::optional<char> to;
  } steps[] = {{'0', '1'}, {'8', '9'}, {'9', 'A'}, {'Y', 'Z'}, {'Z', std::nullopt}, {'a', 'b'}};
  for (const Step& s : steps) EXPECT_EQ(NextDumpCounter(s.from), s.to) << s.from;
}

TEST_F(DumpFileTest, AFolderThatCannotTakeTheFileIsReported) {
  const std::uint8_t bytes[] = {7};
  const auto path = WriteDumpFile(DumpKind::SmartThresholds, bytes, 1, folder / "missing", ui);
  EXPECT_FALSE(path);
  EXPECT_EQ(ui.boxes, (std::vector<std::string>{"Fail to create file|GetSPIFWInfo:|error"}));
  EXPECT_TRUE(ui.panels.empty());
}

TEST_F(DumpFileTest, ADumpThatCannotBeWrittenWholeIsReportedAndLeavesNoFile) {
  // A file size limit makes the write stop half way, as a full disk would.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 600;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const SmartDumpPaths paths = DumpSmartPages(SmartState{}, folder, ui);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(paths.data);
  EXPECT_FALSE(paths.thresholds);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(ui.panels.empty());  // never "Svae File OK :" for a cut file
  EXPECT_TRUE(Names().empty());
}

}  // namespace
}  // namespace rur
