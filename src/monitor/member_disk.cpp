// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/member_disk.h"

namespace rur {

std::string BayName(unsigned bay) { return bay == 0 ? "HDD1" : "HDD2"; }

}  // namespace rur
