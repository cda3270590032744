// SPDX-License-Identifier: GPL-3.0-or-later
// Windows keeps no list of who holds a lock that another process could read, so the holder is
// described without a name.
#include "platform/lock_holder.h"

namespace rur {

namespace {
constexpr const char* kUnknownHolder = "another process";
}  // namespace

std::string DescribeFlockHolder(const std::string&, const std::string&, const std::string&) { return kUnknownHolder; }

std::string DescribeFlockHolder(const std::string&) { return kUnknownHolder; }

}  // namespace rur
