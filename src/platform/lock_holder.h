// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Who holds a flock on a file: the kernel lists every flock with its process in /proc/locks, and
// the process's command line says what it is. Used to name what keeps a controller busy.

#include <string>

namespace rur {

// "rurctl firmware new.bin (process 4242)", or "another process" when the holder cannot be seen.
// locksText is the content of /proc/locks; procDir where the processes' folders are.
std::string DescribeFlockHolder(const std::string& path, const std::string& locksText,
                                const std::string& procDir = "/proc");
std::string DescribeFlockHolder(const std::string& path);

}  // namespace rur
