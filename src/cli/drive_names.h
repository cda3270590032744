// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --drive D: a physical drive by number, by its device node (/dev/sdb, or a link to it such as a
// /dev/disk/by-path name) or by its /dev/disk/by-id name, with or without the folder.

#include <string>

#include "transport/scsi_device.h"

namespace rur::cli {

// False with a message naming the drives there are when the text names none of them.
bool ResolveDriveName(DriveSource& drives, const std::string& text, unsigned& drive, std::string& error);

}  // namespace rur::cli
