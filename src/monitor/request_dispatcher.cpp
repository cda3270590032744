// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/request_dispatcher.h"

namespace rur {

RequestDispatcher::RequestDispatcher(Job refresh, Job smartThresholds, Job smartData)
    : served_{Served{REQ_REFRESH, std::move(refresh)}, Served{REQ_SMART_THRESHOLDS, std::move(smartThresholds)},
              Served{REQ_SMART_DATA, std::move(smartData)}} {}

void RequestDispatcher::Dispatch() {
  for (const Served& served : served_) {
    if (!(flags_ & served.request)) continue;
    if (busy_ & served.request) return;
    busy_ |= served.request;
    served.job();
    Drop(served.request);
    busy_ &= static_cast<std::uint8_t>(~served.request);
    return;
  }
}

}  // namespace rur
