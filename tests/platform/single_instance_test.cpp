// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace rur {
namespace {

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  const auto folder = std::filesystem::temp_directory_path() / ("rur-lock-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::string error;
  {
    SingleInstanceLock first;
    ASSERT_TRUE(first.Acquire("KX_GUI", folder.string(), error)) << error;
    SingleInstanceLock second;
    EXPECT_FALSE(second.Acquire("KX_GUI", folder.string(), error));
    EXPECT_TRUE(error.empty()) << "a held lock is not an error: " << error;
    SingleInstanceLock other;
    EXPECT_TRUE(other.Acquire("OTHER", folder.string(), error));  // another name is another lock
    first.Release();
    EXPECT_TRUE(second.Acquire("KX_GUI", folder.string(), error));
  }
  // A folder that cannot hold the lock file is an error, not "another instance".
  SingleInstanceLock nowhere;
  EXPECT_FALSE(nowhere.Acquire("KX_GUI", (folder / "missing").string(), error));
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace rur
