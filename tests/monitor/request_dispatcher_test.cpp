// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/request_dispatcher.h"

#include <gtest/gtest.h>

#include <string>

namespace rur {
namespace {

TEST(RequestDispatcher, RefreshFirstOneAtATimeAndArmingDropsThePending) {
  std::string ran;
  RequestDispatcher* self = nullptr;
  RequestDispatcher dispatcher(
      [&] {
        ran += 'R';
        self->Dispatch();
      },  // a job that pumps comes back
      [&] { ran += 'T'; }, [&] { ran += 'D'; });
  self = &dispatcher;
  dispatcher.Raise(REQ_SMART_DATA | REQ_REFRESH | REQ_SMART_THRESHOLDS);
  dispatcher.Dispatch();
  EXPECT_EQ(ran, "R") << "a running request is not started again from inside itself";
  dispatcher.Dispatch();
  dispatcher.Dispatch();
  EXPECT_EQ(ran, "RTD");
  EXPECT_FALSE(dispatcher.pending());
  EXPECT_EQ(dispatcher.busy(), 0);

  dispatcher.Raise(REQ_SMART_DATA);
  dispatcher.Arm();
  EXPECT_EQ(dispatcher.flags(), MONITOR_ARMED);
  dispatcher.Dispatch();
  EXPECT_EQ(ran, "RTD");
}

}  // namespace
}  // namespace rur
